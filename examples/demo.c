/* Prints what the library says about itself, then creates and deletes a
 * handle. Uses only the public header and the shared library. */
#include "tovan_sdk.h"

#include <stdio.h>

int main(void)
{
    static const sdk_error codes[] = {
        TOVAN_SDK_OK,
        TOVAN_SDK_OUT_OF_MEMORY,
        TOVAN_SDK_NOT_INITIALISED,
        TOVAN_SDK_INTERNAL_ERROR,
        TOVAN_SDK_MEMORY_LEAK,
        TOVAN_SDK_RECEIVING_NOT_AVAILABLE,
        TOVAN_SDK_NOT_RUNNING,
        TOVAN_SDK_ALREADY_RUNNING,
        TOVAN_SDK_ALREADY_STOPPED,
        TOVAN_SDK_ALREADY_SENDING,
        TOVAN_SDK_INVALID_SAMPLE_RATE,
        TOVAN_SDK_NULL_BUFFER,
        TOVAN_SDK_NULL_POINTER,
        TOVAN_SDK_INVALID_CHANNEL,
        TOVAN_SDK_INVALID_FREQUENCY_CORRECTION,
        TOVAN_SDK_PROCESSING_ERROR,
        TOVAN_SDK_INVALID_CONFIG,
        TOVAN_SDK_INVALID_CONFIG_VERSION,
        TOVAN_SDK_INVALID_CONFIG_CHARACTER,
        TOVAN_SDK_PAYLOAD_EMPTY,
        TOVAN_SDK_PAYLOAD_INVALID,
        TOVAN_SDK_PAYLOAD_UNKNOWN_SYMBOLS,
        TOVAN_SDK_PAYLOAD_DECODE_FAILED,
        TOVAN_SDK_PAYLOAD_TOO_LONG,
        TOVAN_SDK_PAYLOAD_TOO_SHORT,
        TOVAN_SDK_INVALID_VOLUME,
        TOVAN_SDK_UNKNOWN_ERROR,
        TOVAN_SDK_AUDIO_IO_ERROR,
        TOVAN_SDK_SENDING_NOT_ENABLED,
        TOVAN_SDK_RECEIVING_NOT_ENABLED,
        TOVAN_SDK_DEVICE_MUTED,
    };

    printf("%s %s (build %s)\n\n", tovan_sdk_get_library_name(), tovan_sdk_get_version(),
           tovan_sdk_get_build_number());
    printf("Error codes:\n");
    for (size_t i = 0; i < sizeof codes / sizeof codes[0]; ++i)
        printf("%5u  %s\n", (unsigned)codes[i], tovan_sdk_error_code_to_string(codes[i]));

    sdk_handle *sdk = new_tovan_sdk();
    if (sdk == NULL) {
        fprintf(stderr, "could not create a handle\n");
        return 1;
    }
    const sdk_error result = del_tovan_sdk(&sdk);
    printf("\nCreated and deleted a handle: %s\n", tovan_sdk_error_code_to_string(result));
    return result == TOVAN_SDK_OK ? 0 : 1;
}
