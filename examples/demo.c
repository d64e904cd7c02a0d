/*
 * One payload through the library and back, as an application would do it
 * with its audio devices, but through a WAV file instead of a loudspeaker:
 *
 *   1. configure a handle with the standard config string (a text file);
 *   2. send the payload given as hex on the command line, or a random one,
 *      and render the transmission in blocks, as an audio callback would;
 *   3. write what was rendered to a 16-bit mono WAV file you can play;
 *   4. feed those samples back through the input path, in blocks, and print
 *      every callback, with the payload received.
 *
 * Exits 0 when the payload came back, 1 when it did not or the library
 * refused something, 2 for a usage error.
 *
 * Usage: tovan_demo [-c CONFIG] [-o WAV] [HEX]
 *   CONFIG  config string file; by default examples/standard.config from the
 *           current directory, else the one beside this source file
 *   WAV     output file; by default demo.wav in the directory above the
 *           program's (build/demo.wav for build/examples/tovan_demo)
 *   HEX     payload bytes, e.g. 48656c6c6f; random when left out
 *
 * Uses only the public header and the shared library.
 */
#include "tovan_sdk.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Samples per process call, as an audio driver's period would be. */
#define BLOCK 1024

/* What the callbacks need; the user pointer of the handle. */
struct demo {
    sdk_handle *sdk;
    const char *phase;   /* "play" or "hear" */
    size_t position;     /* samples played, or heard, before the current block */
    uint32_t rate;       /* Hz */
    const uint8_t *payload;
    size_t length;
    int got_own_payload;
};

static const char *state_name(sdk_state state)
{
    switch (state) {
    case TOVAN_SDK_STATE_NOT_CONFIGURED:
        return "NOT_CONFIGURED";
    case TOVAN_SDK_STATE_STOPPED:
        return "STOPPED";
    case TOVAN_SDK_STATE_RUNNING:
        return "RUNNING";
    case TOVAN_SDK_STATE_SENDING:
        return "SENDING";
    case TOVAN_SDK_STATE_RECEIVING:
        return "RECEIVING";
    }
    return "?";
}

static void print_when(const struct demo *d)
{
    printf("  [%s %7.3f s] ", d->phase, (double)d->position / (double)d->rate);
}

static void print_bytes(const uint8_t *bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        printf("%s%02x", i == 0 ? "" : " ", bytes[i]);
}

static void on_state_changed(void *user, sdk_state old_state, sdk_state new_state)
{
    print_when(user);
    printf("on_state_changed %s -> %s\n", state_name(old_state), state_name(new_state));
}

static void print_payload_event(const struct demo *d, const char *name, const uint8_t *payload, size_t length,
                                uint8_t channel)
{
    print_when(d);
    printf("%-16s channel %u", name, (unsigned)channel);
    if (payload != NULL) {
        printf(", %u byte(s): ", (unsigned)length);
        print_bytes(payload, length);
    }
}

static void on_sending(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    print_payload_event(user, "on_sending", payload, length, channel);
    printf("\n");
}

static void on_sent(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    print_payload_event(user, "on_sent", payload, length, channel);
    printf("\n");
}

static void on_receiving(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    print_payload_event(user, "on_receiving", payload, length, channel);
    printf("\n");
}

static void on_received(void *user, const uint8_t *payload, size_t length, uint8_t channel)
{
    struct demo *d = user;
    print_payload_event(d, "on_received", payload, length, channel);
    if (payload == NULL) {
        printf(": could not be decoded\n");
        return;
    }
    const int own = length == d->length && memcmp(payload, d->payload, length) == 0;
    printf("%s\n", own ? "  (the payload sent)" : "  (not the payload sent)");
    d->got_own_payload |= own;
}

/* The whole file as a NUL-terminated text without trailing white space, or
 * NULL. The caller frees it. */
static char *read_text(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (file == NULL)
        return NULL;
    size_t size = 0, capacity = 4096;
    char *text = malloc(capacity);
    size_t got;
    while (text != NULL && (got = fread(text + size, 1, capacity - 1 - size, file)) > 0) {
        size += got;
        if (size == capacity - 1) {
            char *bigger = realloc(text, capacity * 2);
            if (bigger == NULL)
                free(text);
            text = bigger;
            capacity *= 2;
        }
    }
    fclose(file);
    if (text == NULL)
        return NULL;
    while (size > 0 && strchr(" \t\r\n", text[size - 1]) != NULL)
        --size;
    text[size] = '\0';
    return text;
}

/* `file` with the last path component of `path` replaced; `up` more
 * components dropped. A path without enough separators gives `file` alone. */
static char *beside(const char *path, int up, const char *file)
{
    size_t end = strlen(path);
    for (int i = 0; i <= up; ++i) {
        while (end > 0 && path[end - 1] != '/' && path[end - 1] != '\\')
            --end;
        if (end == 0)
            break;
        if (i < up)
            --end; /* past the separator, to the component above */
    }
    char *out = malloc(end + strlen(file) + 1);
    if (out != NULL) {
        memcpy(out, path, end);
        strcpy(out + end, file);
    }
    return out;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* The bytes of an even-length hex text, or NULL. The caller frees them. */
static uint8_t *from_hex(const char *hex, size_t *length)
{
    const size_t digits = strlen(hex);
    if (digits == 0 || digits % 2 != 0)
        return NULL;
    uint8_t *bytes = malloc(digits / 2);
    for (size_t i = 0; bytes != NULL && i < digits / 2; ++i) {
        const int high = hex_digit(hex[2 * i]), low = hex_digit(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            free(bytes);
            return NULL;
        }
        bytes[i] = (uint8_t)(high * 16 + low);
    }
    *length = digits / 2;
    return bytes;
}

static void put_u16(FILE *f, unsigned v)
{
    fputc((int)(v & 0xFF), f);
    fputc((int)((v >> 8) & 0xFF), f);
}

static void put_u32(FILE *f, uint32_t v)
{
    put_u16(f, v & 0xFFFF);
    put_u16(f, v >> 16);
}

/* A canonical 44-byte-header PCM WAV file: 16-bit mono, little-endian. */
static int write_wav(const char *path, const int16_t *samples, size_t count, uint32_t rate)
{
    FILE *f = fopen(path, "wb");
    if (f == NULL)
        return 0;
    const uint32_t data_bytes = (uint32_t)(count * 2);
    fwrite("RIFF", 1, 4, f);
    put_u32(f, 36 + data_bytes);
    fwrite("WAVEfmt ", 1, 8, f);
    put_u32(f, 16);       /* format chunk size */
    put_u16(f, 1);        /* PCM */
    put_u16(f, 1);        /* mono */
    put_u32(f, rate);
    put_u32(f, rate * 2); /* bytes per second */
    put_u16(f, 2);        /* bytes per frame */
    put_u16(f, 16);       /* bits per sample */
    fwrite("data", 1, 4, f);
    put_u32(f, data_bytes);
    for (size_t i = 0; i < count; ++i)
        put_u16(f, (uint16_t)samples[i]);
    return fclose(f) == 0;
}

static int usage(const char *program)
{
    fprintf(stderr, "usage: %s [-c CONFIG] [-o WAV] [HEX]\n", program);
    return 2;
}

static int failed(const char *what, sdk_error code)
{
    fprintf(stderr, "%s: %s (%u)\n", what, tovan_sdk_error_code_to_string(code), (unsigned)code);
    return 0;
}

/* Renders blocks until the handle stops sending, then `tail` more samples
 * (silence from the library), appending them to *audio. */
static int play(struct demo *d, int16_t **audio, size_t *count, size_t tail)
{
    size_t after = 0;
    while (after < tail) {
        if (*count >= (size_t)d->rate * 60) {
            fprintf(stderr, "the transmission did not end within a minute\n");
            return 0;
        }
        int16_t *bigger = realloc(*audio, (*count + BLOCK) * sizeof **audio);
        if (bigger == NULL)
            return failed("rendering", TOVAN_SDK_OUT_OF_MEMORY);
        *audio = bigger;
        d->position = *count;
        const sdk_error code = tovan_sdk_process_shorts_output(d->sdk, *audio + *count, BLOCK);
        if (code != TOVAN_SDK_OK)
            return failed("tovan_sdk_process_shorts_output", code);
        *count += BLOCK;
        if (tovan_sdk_get_state(d->sdk) != TOVAN_SDK_STATE_SENDING)
            after += BLOCK;
    }
    return 1;
}

/* The steps of the demo, on a configured handle; 1 on success. */
static int run(struct demo *d, const char *wav_path)
{
    int16_t *audio = NULL;
    size_t count = 0;
    int ok = 1;

    /* A quarter of a second of the audio loop before the send, so the file
     * starts with a little silence, then the transmission and half a second. */
    printf("\nPlaying (rendering) at %u Hz in blocks of %d samples:\n", (unsigned)d->rate, BLOCK);
    d->phase = "play";
    d->position = 0;
    const sdk_error started = tovan_sdk_start(d->sdk);
    ok = started == TOVAN_SDK_OK || failed("tovan_sdk_start", started);
    ok = ok && play(d, &audio, &count, d->rate / 4);
    if (ok) {
        d->position = count;
        const sdk_error code = tovan_sdk_send(d->sdk, d->payload, d->length);
        ok = code == TOVAN_SDK_OK || failed("tovan_sdk_send", code);
    }
    ok = ok && play(d, &audio, &count, d->rate / 2);

    if (ok && !write_wav(wav_path, audio, count, d->rate)) {
        fprintf(stderr, "could not write %s\n", wav_path);
        ok = 0;
    }
    if (ok)
        printf("\nWrote %u samples (%.2f s) to %s\n", (unsigned)count, (double)count / d->rate, wav_path);

    /* What a microphone would have captured, through the input path. */
    if (ok)
        printf("\nHearing the same samples in blocks of %d:\n", BLOCK);
    d->phase = "hear";
    for (size_t at = 0; ok && at < count; at += BLOCK) {
        const size_t n = count - at < BLOCK ? count - at : BLOCK;
        d->position = at;
        const sdk_error code = tovan_sdk_process_shorts_input(d->sdk, audio + at, n);
        ok = code == TOVAN_SDK_OK || failed("tovan_sdk_process_shorts_input", code);
    }
    free(audio);
    return ok;
}

int main(int argc, char **argv)
{
    const char *config_path = NULL, *wav_path = NULL, *hex = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-c") == 0 && i + 1 < argc)
            config_path = argv[++i];
        else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            wav_path = argv[++i];
        else if (argv[i][0] != '-' && hex == NULL)
            hex = argv[i];
        else
            return usage(argv[0]);
    }

    char *beside_source = beside(__FILE__, 0, "standard.config");
    char *default_wav = beside(argv[0], 1, "demo.wav");
    char *config = NULL;
    if (config_path != NULL) {
        config = read_text(config_path);
    } else {
        config_path = "examples/standard.config";
        config = read_text(config_path);
        if (config == NULL && beside_source != NULL) {
            config_path = beside_source;
            config = read_text(config_path);
        }
    }
    if (wav_path == NULL)
        wav_path = default_wav != NULL ? default_wav : "demo.wav";

    int status = 1;
    sdk_error code = TOVAN_SDK_OK;
    sdk_handle *sdk = NULL;
    uint8_t *payload = NULL;
    int payload_from_library = 0;
    size_t length = 0;
    struct demo d = {0};

    printf("%s %s (build %s)\n", tovan_sdk_get_library_name(), tovan_sdk_get_version(), tovan_sdk_get_build_number());
    if (config == NULL) {
        fprintf(stderr, "could not read the config string from %s\n", config_path);
        goto done;
    }
    sdk = new_tovan_sdk();
    if (sdk == NULL) {
        fprintf(stderr, "could not create a handle\n");
        goto done;
    }
    code = tovan_sdk_set_config(sdk, config);
    if (code != TOVAN_SDK_OK) {
        failed(config_path, code);
        goto done;
    }
    char *info = tovan_sdk_get_info(sdk);
    printf("Config from %s:\n  %s\n", config_path, info != NULL ? info : "(no information)");
    tovan_sdk_free(info);

    if (hex != NULL) {
        payload = from_hex(hex, &length);
        if (payload == NULL) {
            fprintf(stderr, "the payload must be an even number of hex digits, got \"%s\"\n", hex);
            status = 2;
            goto done;
        }
        code = tovan_sdk_is_valid(sdk, payload, length);
        if (code != TOVAN_SDK_OK) {
            failed("payload", code);
            fprintf(stderr, "this config carries at most %u bytes\n", (unsigned)tovan_sdk_get_max_payload_length(sdk));
            status = 2;
            goto done;
        }
    } else {
        payload = tovan_sdk_random_payload(sdk, &length); /* length 0: a random length */
        payload_from_library = 1;
        if (payload == NULL) {
            fprintf(stderr, "could not make a random payload\n");
            goto done;
        }
    }
    printf("Payload (%s): ", payload_from_library ? "random" : "given");
    print_bytes(payload, length);
    printf("\n");

    d.sdk = sdk;
    d.rate = tovan_sdk_get_output_sample_rate(sdk);
    d.payload = payload;
    d.length = length;
    d.phase = "play";
    const sdk_callbacks callbacks = {on_state_changed, on_sending, on_sent, on_receiving, on_received};
    if ((code = tovan_sdk_set_callback_ptr(sdk, &d)) != TOVAN_SDK_OK ||
        (code = tovan_sdk_set_callbacks(sdk, callbacks)) != TOVAN_SDK_OK) {
        failed("setting the callbacks", code);
        goto done;
    }
    if (!run(&d, wav_path))
        goto done;
    /* Stopping lets a reception still under way finish. */
    if ((code = tovan_sdk_stop(sdk)) != TOVAN_SDK_OK) {
        failed("tovan_sdk_stop", code);
        goto done;
    }
    printf("\n%s\n", d.got_own_payload ? "The payload came back." : "The payload did NOT come back.");
    status = d.got_own_payload ? 0 : 1;

done:
    if (payload_from_library)
        tovan_sdk_free(payload);
    else
        free(payload);
    if (sdk != NULL) {
        code = del_tovan_sdk(&sdk);
        if (code != TOVAN_SDK_OK) {
            failed("del_tovan_sdk", code);
            status = status == 0 ? 1 : status;
        }
    }
    free(config);
    free(beside_source);
    free(default_wav);
    return status;
}
