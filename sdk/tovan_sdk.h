/*
 * tovan-sdk: send and receive short binary payloads as sound.
 *
 * The application owns all audio: it feeds captured samples in and asks for
 * samples to play, in blocks of its own size. Everything goes through an
 * opaque handle:
 *
 *     sdk_handle *sdk = new_tovan_sdk();
 *     ...configure, start, send, process audio...
 *     if (del_tovan_sdk(&sdk) == TOVAN_SDK_MEMORY_LEAK) { ... }   // sdk is NULL now
 *
 * Acting calls return an sdk_error code (TOVAN_SDK_OK, 0, on success); its
 * English text comes from tovan_sdk_error_code_to_string. Calls that answer
 * with a value return a fixed fallback instead when the handle is not usable.
 * Blocks that the library hands to the caller come from its tracked heap and
 * go back through tovan_sdk_free.
 *
 * Threads: the library starts none and locks nothing. The tracked heap and the
 * random generator are shared by every handle of the process, so all handles
 * together, not just each one, must be used from one thread at a time.
 * Callbacks run synchronously on the caller's thread, inside the call that
 * raised them.
 */
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(TOVAN_SDK_BUILDING_DLL)
#define TOVAN_SDK_API __declspec(dllexport)
#else
#define TOVAN_SDK_API
#endif
#else
#define TOVAN_SDK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result of every acting call. The values are fixed and never reused. */
typedef uint32_t sdk_error;

enum sdk_error_code {
    TOVAN_SDK_OK = 0,
    TOVAN_SDK_OUT_OF_MEMORY = 1,
    TOVAN_SDK_NOT_INITIALISED = 2,
    TOVAN_SDK_INTERNAL_ERROR = 3,
    TOVAN_SDK_MEMORY_LEAK = 4,
    TOVAN_SDK_RECEIVING_NOT_AVAILABLE = 5, /* never returned; text kept */
    TOVAN_SDK_NOT_RUNNING = 6,
    TOVAN_SDK_ALREADY_RUNNING = 7,
    TOVAN_SDK_ALREADY_STOPPED = 8,
    TOVAN_SDK_ALREADY_SENDING = 9,
    TOVAN_SDK_INVALID_SAMPLE_RATE = 20,
    TOVAN_SDK_NULL_BUFFER = 21,
    TOVAN_SDK_NULL_POINTER = 22,
    TOVAN_SDK_INVALID_CHANNEL = 23,
    TOVAN_SDK_INVALID_FREQUENCY_CORRECTION = 24,
    TOVAN_SDK_PROCESSING_ERROR = 25,
    TOVAN_SDK_INVALID_CONFIG = 46,
    TOVAN_SDK_INVALID_CONFIG_VERSION = 48,
    TOVAN_SDK_INVALID_CONFIG_CHARACTER = 50,
    TOVAN_SDK_PAYLOAD_EMPTY = 80,
    TOVAN_SDK_PAYLOAD_INVALID = 81,
    TOVAN_SDK_PAYLOAD_UNKNOWN_SYMBOLS = 82,
    TOVAN_SDK_PAYLOAD_DECODE_FAILED = 83,
    TOVAN_SDK_PAYLOAD_TOO_LONG = 84,
    TOVAN_SDK_PAYLOAD_TOO_SHORT = 85,
    TOVAN_SDK_INVALID_VOLUME = 99,
    TOVAN_SDK_UNKNOWN_ERROR = 100,
    TOVAN_SDK_AUDIO_IO_ERROR = 204,        /* never returned; text kept */
    TOVAN_SDK_SENDING_NOT_ENABLED = 205,   /* never returned; text kept */
    TOVAN_SDK_RECEIVING_NOT_ENABLED = 206, /* never returned; text kept */
    TOVAN_SDK_DEVICE_MUTED = 207           /* never returned; text kept */
};

/* State of a handle; it holds the latest event of the whole handle. */
typedef uint32_t sdk_state;

enum sdk_state_value {
    TOVAN_SDK_STATE_NOT_CONFIGURED = 0, /* created, never configured */
    TOVAN_SDK_STATE_STOPPED = 1,        /* configured; audio processing refused */
    TOVAN_SDK_STATE_RUNNING = 2,        /* processing audio, nothing sent or received */
    TOVAN_SDK_STATE_SENDING = 3,        /* a transmission is being rendered */
    TOVAN_SDK_STATE_RECEIVING = 4       /* a receiver is collecting a transmission */
};

/*
 * The five application callbacks, in this order; any entry may be NULL and is
 * then skipped. Each gets the user pointer of the handle first. Payload bytes
 * are a copy that lives only until the callback returns: keep a copy of your
 * own if you need them later. `channel` is a frequency band of the protocol,
 * not an audio channel. A callback must not delete or re-configure the handle
 * that raised it.
 */
typedef struct sdk_callbacks {
    /* Fired at every store of the state, before the store, also when both are equal. */
    void (*on_state_changed)(void *user, sdk_state old_state, sdk_state new_state);
    /* A transmission starts. */
    void (*on_sending)(void *user, const uint8_t *payload, size_t length, uint8_t channel);
    /* The last sample of a transmission has been rendered. */
    void (*on_sent)(void *user, const uint8_t *payload, size_t length, uint8_t channel);
    /* A receiver detected the start of a transmission; payload NULL, length 0. */
    void (*on_receiving)(void *user, const uint8_t *payload, size_t length, uint8_t channel);
    /* A reception ended: the payload, or NULL and 0 when it could not be decoded. */
    void (*on_received)(void *user, const uint8_t *payload, size_t length, uint8_t channel);
} sdk_callbacks;

/* The opaque instance. */
typedef struct sdk_handle sdk_handle;

/*
 * Creates an unconfigured handle (state TOVAN_SDK_STATE_NOT_CONFIGURED).
 *
 * Takes a hold on the process-wide tracked heap (the first handle creates it)
 * and reseeds the process-wide random generator from the wall clock in
 * milliseconds, so a seed set earlier is overridden for every handle.
 *
 * Returns: the handle, owned by the caller until del_tovan_sdk; NULL when
 *     memory cannot be had.
 * States: none needed.
 * Callback safety: may be called from a callback; the reseed changes the
 *     random sequence of every other handle.
 */
TOVAN_SDK_API sdk_handle *new_tovan_sdk(void);

/*
 * Destroys a handle in any state and sets the caller's variable to NULL. A
 * transmission or reception under way ends silently: no callback fires.
 *
 * Parameters:
 *     handle  [in, out] address of the caller's handle variable.
 * Returns, in check order:
 *     TOVAN_SDK_NULL_POINTER  handle or *handle is NULL; nothing changes
 *                             (so a second call on the same variable gives it);
 *     TOVAN_SDK_MEMORY_LEAK   tracked bytes are still in use once the handle is
 *                             gone; the handle is destroyed all the same. The
 *                             figure is process-wide: other live handles and
 *                             blocks not yet given back with tovan_sdk_free count;
 *     TOVAN_SDK_OK            otherwise.
 * Ownership: releases everything the handle owns and its hold on the tracked heap.
 * States: any.
 * Callback safety: never from inside a callback of the same handle.
 */
TOVAN_SDK_API sdk_error del_tovan_sdk(sdk_handle **handle);

/*
 * Gives back a block that the library handed to the caller (a random payload,
 * an info text). NULL is allowed and does nothing; anything that did not come
 * from the library is undefined behaviour.
 *
 * Parameters:
 *     block  [in] the block; it must not be used afterwards.
 * States: none needed; also valid after the handle that made it was deleted.
 * Callback safety: safe, but never on the payload passed to a callback.
 */
TOVAN_SDK_API void tovan_sdk_free(void *block);

/*
 * Heap usage of the whole process in bytes: the bytes in use, plus 8 for every
 * allocation made since the tracked heap was created (freed ones included, so
 * the figure only grows), plus the heap's own bookkeeping; 32-bit, wrapping.
 *
 * Parameters:
 *     handle  [in] a configured handle.
 * Returns: the figure; 0xFFFFFFFF when handle is NULL or not configured.
 * States: any configured state.
 * Callback safety: safe.
 */
TOVAN_SDK_API uint32_t tovan_sdk_get_heap_usage(const sdk_handle *handle);

/*
 * English text of an error code.
 *
 * Parameters:
 *     code  [in] any value.
 * Returns: the code's text; "Unknown error code." for a value that is not a
 *     code. The text is static: never free it.
 * States: no handle needed.
 * Callback safety: safe.
 */
TOVAN_SDK_API const char *tovan_sdk_error_code_to_string(sdk_error code);

/*
 * Name of the library, "tovan-sdk". Static text: never free it.
 * States: no handle needed. Callback safety: safe.
 */
TOVAN_SDK_API const char *tovan_sdk_get_library_name(void);

/*
 * Version of the library, "3.3.1". Static text: never free it.
 * States: no handle needed. Callback safety: safe.
 */
TOVAN_SDK_API const char *tovan_sdk_get_version(void);

/*
 * Build number of the library, "1403". Static text: never free it.
 * States: no handle needed. Callback safety: safe.
 */
TOVAN_SDK_API const char *tovan_sdk_get_build_number(void);

#ifdef __cplusplus
}
#endif
