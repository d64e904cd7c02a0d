/* The public header as a C program sees it. */
#include "sdk/tovan_sdk.h"

#include <stddef.h>

_Static_assert(TOVAN_SDK_OK == 0 && TOVAN_SDK_NULL_POINTER == 22 && TOVAN_SDK_INVALID_CONFIG_VERSION == 48 &&
                   TOVAN_SDK_DEVICE_MUTED == 207,
               "error codes are fixed");
_Static_assert(TOVAN_SDK_STATE_NOT_CONFIGURED == 0 && TOVAN_SDK_STATE_RECEIVING == 4, "states are fixed");
_Static_assert(sizeof(sdk_error) == 4 && sizeof(sdk_state) == 4, "both are 32-bit");

size_t c_consumer_callbacks_size(void);
size_t c_consumer_on_received_offset(void);
int c_consumer_round_trip(void);

size_t c_consumer_callbacks_size(void)
{
    return sizeof(sdk_callbacks);
}

size_t c_consumer_on_received_offset(void)
{
    return offsetof(sdk_callbacks, on_received);
}

/* 1 when a handle made and deleted from C leaves the variable NULL with no leak. */
int c_consumer_round_trip(void)
{
    sdk_handle *sdk = new_tovan_sdk();
    if (sdk == NULL || tovan_sdk_get_heap_usage(sdk) != 0xFFFFFFFFu)
        return 0;
    if (del_tovan_sdk(&sdk) != TOVAN_SDK_OK || sdk != NULL)
        return 0;
    return del_tovan_sdk(&sdk) == TOVAN_SDK_NULL_POINTER;
}
