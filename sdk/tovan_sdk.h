/*
 * tovan-sdk: send and receive short binary payloads as sound.
 *
 * The application owns all audio: it feeds captured samples in and asks for
 * samples to play, in blocks of its own size. Everything goes through an
 * opaque handle:
 *
 *     sdk_handle *sdk = new_tovan_sdk();
 *     tovan_sdk_set_config(sdk, config_string);        // state STOPPED
 *     tovan_sdk_set_callbacks(sdk, callbacks);         // optional
 *     tovan_sdk_start(sdk);                            // state RUNNING
 *     tovan_sdk_send(sdk, payload, length);            // on_sending, state SENDING
 *     loop: tovan_sdk_process(sdk, mic, speaker, n);   // on_sent, on_receiving, on_received
 *     tovan_sdk_stop(sdk);
 *     if (del_tovan_sdk(&sdk) == TOVAN_SDK_MEMORY_LEAK) { ... }   // sdk is NULL now
 *
 * A config string is standard base64 text (A-Z, a-z, 0-9, '+', '/', '='
 * padding): one format byte (5 or 6) and the parameters of one protocol and
 * of its receivers. Before the first successful tovan_sdk_set_config a handle
 * is unconfigured: calls that need the configuration answer
 * TOVAN_SDK_NOT_INITIALISED, or their fallback value, as said per call.
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
 *
 * Callbacks and re-entry: the call that raised a callback goes on using the
 * handle's pipeline after the callback returns. So, from inside any callback
 * of a handle, del_tovan_sdk, tovan_sdk_set_config, both sample-rate setters
 * and the audio calls of that handle change nothing and return
 * TOVAN_SDK_PROCESSING_ERROR. tovan_sdk_send (e.g. the next payload from
 * on_sent) and tovan_sdk_stop (e.g. from on_received) are allowed: once the
 * handle is stopped, the audio call under way feeds nothing more and fires
 * nothing more. Every other call is safe from callbacks.
 */
#pragma once

#include <stdbool.h>
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
 * not an audio channel. See "Callbacks and re-entry" above for the calls a
 * callback may make.
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
 *     TOVAN_SDK_PROCESSING_ERROR  called from one of the handle's callbacks;
 *                             nothing changes;
 *     TOVAN_SDK_MEMORY_LEAK   tracked bytes are still in use once the handle is
 *                             gone; the handle is destroyed all the same. The
 *                             figure is process-wide: other live handles and
 *                             blocks not yet given back with tovan_sdk_free count;
 *     TOVAN_SDK_OK            otherwise.
 * Ownership: releases everything the handle owns and its hold on the tracked heap.
 * States: any.
 * Callback safety: refused from a callback of the same handle.
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
 *     A block freed after every handle is gone counts against no later heap:
 *     the leak result and heap usage of handles made since stay as they are.
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

/* ---- Configuration, states and callbacks ------------------------------- */

/*
 * Configures the handle from a config string (borrowed for the call), or
 * configures it anew: an earlier pipeline is torn down first, silently ending
 * a transmission or reception under way. Callbacks, their user pointer,
 * listen-to-self and the state value are kept. On success the state is
 * STOPPED (on_state_changed reports the old state), volume 1.0, both sample
 * rates the config's, and the transmission channel 0, or drawn from the shared
 * random generator for a protocol with two or more channels.
 * Returns, in check order: NULL_POINTER (handle or config NULL);
 * PROCESSING_ERROR (from a callback; nothing changes); INVALID_CONFIG_CHARACTER
 * (a character outside the alphabet); INVALID_CONFIG (not strict base64: length
 * a multiple of 4, '=' only as the last one or two characters, zero unused
 * bits; the empty text included); OUT_OF_MEMORY; INVALID_CONFIG_VERSION
 * (format not 5 or 6); INTERNAL_ERROR (unreadable protocol or receiver part);
 * INVALID_CONFIG (bytes left over); INTERNAL_ERROR or OUT_OF_MEMORY (building
 * the pipeline); OK. After a failure past the first two checks the handle is
 * unconfigured, while tovan_sdk_get_state still reports its old state.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_config(sdk_handle *handle, const char *config);

/*
 * Replaces all five callbacks (copied; NULL entries included). They survive
 * re-configuration. Returns NOT_INITIALISED (unconfigured), OK. Any state.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_callbacks(sdk_handle *handle, sdk_callbacks callbacks);

/*
 * Sets the user pointer passed first to every callback (kept, never owned;
 * NULL allowed). Needs no configuration. Returns NOT_INITIALISED (handle
 * NULL), OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_callback_ptr(sdk_handle *handle, void *user);

/*
 * STOPPED -> RUNNING. Returns NOT_INITIALISED, ALREADY_RUNNING (any state but
 * STOPPED), OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_start(sdk_handle *handle);

/*
 * Back to STOPPED from RUNNING, SENDING or RECEIVING: drops a transmission
 * under way (no on_sent), runs about one second of silence through every
 * receiver, which may complete receptions (on_received fires inside), then
 * resets them all to listening. A reception that does not complete ends
 * without on_received. Returns NOT_INITIALISED, ALREADY_STOPPED, OK; OK at
 * once when called again from a callback raised by its own flush.
 * Callback safety: allowed; the audio call under way then stops feeding.
 */
TOVAN_SDK_API sdk_error tovan_sdk_stop(sdk_handle *handle);

/*
 * Fires each set callback once so an application can exercise its handlers:
 * on_state_changed (RUNNING, STOPPED), whatever the real state, which does
 * not change; then on_sending, on_sent, on_receiving and on_received, each
 * with its own copy of the payload (borrowed for the call) and channel 0.
 * Returns NOT_INITIALISED, NULL_POINTER (payload), PAYLOAD_TOO_SHORT,
 * PAYLOAD_TOO_LONG (nothing fires for any of these), OK. Any configured state.
 */
TOVAN_SDK_API sdk_error tovan_sdk_trigger_callbacks(sdk_handle *handle, const uint8_t *payload, size_t length);

/*
 * The handle's state: the latest event of the whole handle (a reception on
 * one channel and a transmission on another overwrite each other).
 * TOVAN_SDK_STATE_NOT_CONFIGURED for NULL; needs no configuration.
 */
TOVAN_SDK_API sdk_state tovan_sdk_get_state(const sdk_handle *handle);

/* ---- Sending -------------------------------------------------------------- */

/*
 * Starts a transmission of the payload (copied; the caller keeps its bytes).
 * Nothing is rendered here: the next output calls play it, and on_sending
 * fires before this returns (state SENDING). Without listen-to-self the
 * receiver of the transmission channel is muted until the transmission ends,
 * which drops a reception under way on it. Returns, in check order:
 * NOT_INITIALISED; NULL_POINTER (payload); PAYLOAD_TOO_SHORT; PAYLOAD_TOO_LONG;
 * NOT_RUNNING (STOPPED, or while stopping); ALREADY_SENDING (state SENDING, or
 * the previous transmission is still playing); OUT_OF_MEMORY (nothing
 * loaded); PAYLOAD_EMPTY, PAYLOAD_INVALID, PAYLOAD_UNKNOWN_SYMBOLS,
 * PAYLOAD_DECODE_FAILED or UNKNOWN_ERROR from the transmitter; OK.
 * Callback safety: allowed (send the next payload from on_sent).
 */
TOVAN_SDK_API sdk_error tovan_sdk_send(sdk_handle *handle, const uint8_t *payload, size_t length);

/*
 * A new payload of random bytes from the shared generator. *length (in, out)
 * is the wanted length, or 0 for a random length within the protocol's
 * limits, written back. Returns the block, which the caller frees with
 * tovan_sdk_free; NULL (and *length unchanged) when unconfigured, length is
 * NULL, *length is above the maximum or between 1 and the minimum, and NULL
 * when memory runs out. Any configured state.
 */
TOVAN_SDK_API uint8_t *tovan_sdk_random_payload(const sdk_handle *handle, size_t *length);

/*
 * Judges a payload length against the protocol; the payload is not looked
 * at (NULL allowed). Returns NOT_INITIALISED, PAYLOAD_TOO_SHORT,
 * PAYLOAD_TOO_LONG, OK. Any configured state.
 */
TOVAN_SDK_API sdk_error tovan_sdk_is_valid(const sdk_handle *handle, const uint8_t *payload, size_t length);

/*
 * Renders the first n samples of a transmission of the payload into output
 * (n floats, written whole: silence after the end), on its own: at the
 * handle's output sample rate but full volume and channel 0, without
 * callbacks, leaving the handle's state and transmitter alone. Returns, in
 * check order: NULL_POINTER (handle); NOT_INITIALISED; NULL_POINTER
 * (payload); NULL_BUFFER (output); PAYLOAD_TOO_SHORT; PAYLOAD_INVALID (above
 * the maximum); UNKNOWN_ERROR (no transmitter could be made);
 * INVALID_SAMPLE_RATE; OUT_OF_MEMORY; PAYLOAD_INVALID; OK. Any configured state;
 * safe from callbacks.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_payload(const sdk_handle *handle, const uint8_t *payload, size_t length,
                                                  float *output, size_t n);

/* ---- Audio ------------------------------------------------------------------
 * Samples are mono floats in -1..1, or int16 converted with the scale 32768
 * (int16 output truncated toward zero). Buffers are borrowed for the call:
 * inputs only read, outputs written whole (n samples). Every call answers, in
 * this order: NOT_INITIALISED; PROCESSING_ERROR from a callback of the same
 * handle; NULL_BUFFER; NOT_RUNNING (STOPPED); then its own codes. Works in
 * RUNNING, SENDING and RECEIVING. Input calls fire on_receiving and
 * on_received, output calls on_sent, inside the call. Input and output rates
 * are independent: nothing here converts rates.
 */

/*
 * Feeds n captured samples to every receiver. Samples short of a whole frame
 * wait for the next call. Returns PROCESSING_ERROR when the block does not
 * fit in the input FIFO (64 frames of the FFT size): it is dropped whole and
 * nothing fires. OK otherwise.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_input(sdk_handle *handle, const float *input, size_t n);

/*
 * Writes the next n samples to play: the transmission being sent, silence
 * otherwise. Returns OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_output(sdk_handle *handle, float *output, size_t n);

/*
 * tovan_sdk_process_input, then tovan_sdk_process_output, with the same n.
 * Returns PROCESSING_ERROR when the input does not fit (output untouched);
 * NOT_RUNNING when a callback stopped the handle while feeding (output
 * zeroed); OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process(sdk_handle *handle, const float *input, float *output, size_t n);

/*
 * The int16 twin of tovan_sdk_process_input. Returns OUT_OF_MEMORY (its
 * conversion buffer, which only grows, could not grow to n), PROCESSING_ERROR,
 * OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_shorts_input(sdk_handle *handle, const int16_t *input, size_t n);

/*
 * The int16 twin of tovan_sdk_process_output. Returns OUT_OF_MEMORY (as
 * above; nothing consumed), OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_shorts_output(sdk_handle *handle, int16_t *output, size_t n);

/*
 * The int16 twin of tovan_sdk_process: a failing input step's code comes back
 * unchanged with nothing rendered (output untouched); NOT_RUNNING when a
 * callback stopped the handle while feeding (output zeroed).
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_shorts(sdk_handle *handle, const int16_t *input, int16_t *output,
                                                 size_t n);

/*
 * Loops the handle's own output back into its input, without audio devices:
 * renders n samples and feeds them to the receivers (the transmission
 * channel's receiver hears them only with listen-to-self). Returns
 * OUT_OF_MEMORY (its scratch buffer, which only grows); NOT_RUNNING (a
 * callback stopped the handle while rendering); PROCESSING_ERROR (the block
 * does not fit in the input FIFO: the rendered samples are lost); OK.
 */
TOVAN_SDK_API sdk_error tovan_sdk_process_playthrough(sdk_handle *handle, size_t n);

/* ---- Settings ---------------------------------------------------------------
 * Setters change nothing when they refuse. Unless said otherwise they answer
 * NOT_INITIALISED first on a NULL or unconfigured handle, work in every
 * configured state, and are safe from callbacks. Getters never fail: the
 * value after "fallback" is what a NULL or unconfigured handle gets.
 */

/* Volume of the transmissions, 0.0 to 1.0 inclusive; INVALID_VOLUME outside or for NaN. */
TOVAN_SDK_API sdk_error tovan_sdk_set_volume(sdk_handle *handle, float volume);
/* Volume, 1.0 after each configuration; fallback -1.0. */
TOVAN_SDK_API float tovan_sdk_get_volume(const sdk_handle *handle);

/*
 * Sample rate of the input, in Hz. Returns NOT_INITIALISED; PROCESSING_ERROR
 * from a callback; INVALID_SAMPLE_RATE for 0; OK at once for the current
 * rate; INVALID_SAMPLE_RATE when the protocol's band does not fit below half
 * the rate; OK. A new rate ends receptions under way (without on_received)
 * and returns a RECEIVING state to RUNNING.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_input_sample_rate(sdk_handle *handle, uint32_t rate);
/* Input sample rate in Hz; fallback 0. */
TOVAN_SDK_API uint32_t tovan_sdk_get_input_sample_rate(const sdk_handle *handle);

/*
 * Sample rate of the output, in Hz. Returns NOT_INITIALISED; PROCESSING_ERROR
 * from a callback; INVALID_SAMPLE_RATE for 0; OK at once for the current
 * rate; INVALID_SAMPLE_RATE when the top tone does not fit below half the
 * rate; OK. A transmission under way goes on at the new rate.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_output_sample_rate(sdk_handle *handle, uint32_t rate);
/* Output sample rate in Hz; fallback 0. */
TOVAN_SDK_API uint32_t tovan_sdk_get_output_sample_rate(const sdk_handle *handle);

/*
 * Channel (band of the protocol) of the next transmissions; a transmission
 * under way stays on its own. INVALID_CHANNEL when not below the channel count.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_transmission_channel(sdk_handle *handle, uint8_t channel);
/* Transmission channel, 0 to 7; fallback -1. */
TOVAN_SDK_API int8_t tovan_sdk_get_transmission_channel(const sdk_handle *handle);

/*
 * Whether the transmission channel's receiver keeps listening while sending.
 * Needs no configuration and survives re-configuration; NOT_INITIALISED only
 * for a NULL handle. A change applies from the next transmission.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_listen_to_self(sdk_handle *handle, bool listen);
/* The listen-to-self flag; false for NULL only. */
TOVAN_SDK_API bool tovan_sdk_get_listen_to_self(const sdk_handle *handle);

/*
 * Multiplies the frequencies the receivers hear by factor, 0.5 to 1.5
 * inclusive, to meet a sender whose sample clock runs off: for a sender whose
 * clock runs r times too fast, pass 1/r. The receivers then search for the
 * tones where that sender's clock puts them, so tones it pushed past the edge
 * of the protocol's band are still found. It takes effect from the next frame,
 * also in the middle of a reception. Returns NULL_POINTER (handle),
 * NOT_INITIALISED, INVALID_FREQUENCY_CORRECTION (outside the range, NaN, or
 * receivers without detectors), OK. Back to 1.0 at every new configuration
 * and input sample rate.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_frequency_correction(sdk_handle *handle, float factor);

/*
 * Seeds the random generator shared by every handle of the process (random
 * payloads, random channel at configuration, random slots). Needs no
 * configuration; NOT_INITIALISED only for a NULL handle. The next
 * new_tovan_sdk reseeds it from the clock.
 */
TOVAN_SDK_API sdk_error tovan_sdk_set_random_seed(sdk_handle *handle, uint32_t seed);

/* ---- Information ------------------------------------------------------------ */

/*
 * State of one channel: the handle's state while STOPPED (every channel);
 * NOT_CONFIGURED for a channel the protocol lacks; SENDING on the channel a
 * transmission goes out on; RECEIVING on a channel whose receiver collects a
 * transmission; RUNNING otherwise. Fallback NOT_CONFIGURED.
 */
TOVAN_SDK_API sdk_state tovan_sdk_get_state_for_channel(const sdk_handle *handle, uint8_t channel);

/*
 * Name of the configured protocol, owned by the handle: valid until the next
 * tovan_sdk_set_config or del_tovan_sdk; never free it. Fallback "" (never NULL).
 */
TOVAN_SDK_API const char *tovan_sdk_get_protocol_name(const sdk_handle *handle);
/* Version byte of the protocol; fallback 0. */
TOVAN_SDK_API uint8_t tovan_sdk_get_protocol_version(const sdk_handle *handle);
/* Channels of the protocol, 1 to 8; fallback 0. */
TOVAN_SDK_API uint8_t tovan_sdk_get_channel_count(const sdk_handle *handle);
/* Longest payload the protocol carries, in bytes; fallback 0. */
TOVAN_SDK_API size_t tovan_sdk_get_max_payload_length(const sdk_handle *handle);

/*
 * Seconds a transmission of a payload of `length` bytes lasts; -1.0 below the
 * protocol's minimum length, -2.0 above its maximum; fallback 0.0.
 */
TOVAN_SDK_API float tovan_sdk_get_duration_for_payload_length(const sdk_handle *handle, size_t length);

/*
 * One line about the configuration, for example
 * Tovan SDK with "standard" config v0 [max 6 bytes in 2.01s], supporting 1 channel(s)
 * in a new block that the caller frees with tovan_sdk_free. NULL when
 * unconfigured, when memory runs out, or when the text would need 256 bytes
 * or more.
 */
TOVAN_SDK_API char *tovan_sdk_get_info(const sdk_handle *handle);

#ifdef __cplusplus
}
#endif
