#include "sdk/config_error.h"
#include "sdk/tovan_sdk.h"

const char *tovan_sdk_error_code_to_string(sdk_error code)
{
    switch (code) {
    case TOVAN_SDK_OK:
        return "No error.";
    case TOVAN_SDK_OUT_OF_MEMORY:
        return "The SDK ran out of memory.";
    case TOVAN_SDK_NOT_INITIALISED:
        return "The SDK hasn't been initialised, did you forget to set the config?";
    case TOVAN_SDK_INTERNAL_ERROR:
        return "An internal error prevented the SDK from initialising correctly.";
    case TOVAN_SDK_MEMORY_LEAK:
        return "Some memory hasn't been freed leading to some leaks.";
    case TOVAN_SDK_RECEIVING_NOT_AVAILABLE:
        return "Receiving mode has been disabled and is not available.";
    case TOVAN_SDK_NOT_RUNNING:
        return "The SDK is not running.";
    case TOVAN_SDK_ALREADY_RUNNING:
        return "The SDK is already running.";
    case TOVAN_SDK_ALREADY_STOPPED:
        return "The SDK has already stopped.";
    case TOVAN_SDK_ALREADY_SENDING:
        return "The SDK is already sending.";
    case TOVAN_SDK_INVALID_SAMPLE_RATE:
        return "The sample rate is invalid (it must respect Nyquist law).";
    case TOVAN_SDK_NULL_BUFFER:
        return "One of the parameters is a NULL buffer.";
    case TOVAN_SDK_NULL_POINTER:
        return "One of the parameters is a NULL pointer.";
    case TOVAN_SDK_INVALID_CHANNEL:
        return "The channel asked is bigger than the maximum one authorised by the config being used.";
    case TOVAN_SDK_INVALID_FREQUENCY_CORRECTION:
        return "Invalid frequency correction value.";
    case TOVAN_SDK_PROCESSING_ERROR:
        return "An internal issue happened when processing.";
    case TOVAN_SDK_INVALID_CONFIG:
        return config_error_text(7);
    case TOVAN_SDK_INVALID_CONFIG_VERSION:
        return config_error_text(9);
    case TOVAN_SDK_INVALID_CONFIG_CHARACTER:
        return "Your config contains one or many unknown character(s).";
    case TOVAN_SDK_PAYLOAD_EMPTY:
        return "The payload is empty.";
    case TOVAN_SDK_PAYLOAD_INVALID:
        return "The payload is invalid.";
    case TOVAN_SDK_PAYLOAD_UNKNOWN_SYMBOLS:
        return "The payload contains unknown symbols.";
    case TOVAN_SDK_PAYLOAD_DECODE_FAILED:
        return "Couldn't decode the payload.";
    case TOVAN_SDK_PAYLOAD_TOO_LONG:
        return "The payload's length is longer than the maximum one authorised by the config being used.";
    case TOVAN_SDK_PAYLOAD_TOO_SHORT:
        return "The payload's length is shorter than the minimum one authorised by the config being used.";
    case TOVAN_SDK_INVALID_VOLUME:
        return "Volume value is incorrect.";
    case TOVAN_SDK_UNKNOWN_ERROR:
        return "The SDK has reported an unknown error.";
    case TOVAN_SDK_AUDIO_IO_ERROR:
        return "Audio IO error.";
    case TOVAN_SDK_SENDING_NOT_ENABLED:
        return "Send mode hasn't been enabled.";
    case TOVAN_SDK_RECEIVING_NOT_ENABLED:
        return "Receive mode hasn't been enabled.";
    case TOVAN_SDK_DEVICE_MUTED:
        return "The device is muted. Cannot send data.";
    default:
        return "Unknown error code.";
    }
}
