#include "cube_engine/cube_stream.h"

#include <cstdlib>
#include <sys/stat.h>

void cube_stream_file(cube_stream *s, FILE *file)
{
    memset(s, 0, sizeof *s);
    s->file = file;
}

void cube_stream_memory_reader(cube_stream *s, const void *data, size_t size)
{
    memset(s, 0, sizeof *s);
    s->data = (uint8_t *)const_cast<void *>(data);
    s->size = data != nullptr ? size : 0;
}

int cube_stream_memory_writer(cube_stream *s, size_t reserve)
{
    memset(s, 0, sizeof *s);
    s->writable = 1;
    if (reserve == 0) return 1;
    s->data = (uint8_t *)malloc(reserve);
    if (s->data == nullptr) return 0;
    s->capacity = reserve;
    return 1;
}

int cube_stream_file_writer(cube_stream *s, FILE *file, size_t capacity)
{
    if (file == nullptr || !cube_stream_memory_writer(s, capacity < 1 ? 1 : capacity)) return 0;
    s->sink = file;
    return 1;
}

int cube_stream_drain(cube_stream *s)
{
    if (s->sink == nullptr) return 1;
    const size_t held = s->size;
    s->size = s->pos = 0;
    return held == 0 || fwrite(s->data, 1, held, s->sink) == held;
}

void cube_stream_close(cube_stream *s)
{
    if (s->writable) free(s->data);
    memset(s, 0, sizeof *s);
}

void cube_stream_clear(cube_stream *s)
{
    if (s->file == nullptr && s->writable) s->size = s->pos = 0;
}

static int grow(cube_stream *s, size_t need)
{
    if (need <= s->capacity) return 1;
    size_t cap = s->capacity < 4096 ? 4096 : s->capacity;
    while (cap < need) {
        if (cap > SIZE_MAX / 2) {
            cap = need;
            break;
        }
        cap *= 2;
    }
    uint8_t *bigger = (uint8_t *)realloc(s->data, cap);
    if (bigger == nullptr) return 0;
    s->data = bigger;
    s->capacity = cap;
    return 1;
}

// A buffered file writer's buffer is full: it goes to the file, and what
// does not fit an empty buffer either goes straight after it.
static size_t write_through(cube_stream *s, const void *src, size_t n)
{
    if (!cube_stream_drain(s)) return 0;
    if (n >= s->capacity) return fwrite(src, 1, n, s->sink);
    memcpy(s->data, src, n);
    s->size = s->pos = n;
    return n;
}

size_t cube_stream_write_slow(cube_stream *s, const void *src, size_t n)
{
    if (s->file != nullptr) return fwrite(src, 1, n, s->file);
    if (s->sink != nullptr) return write_through(s, src, n);
    if (!s->writable || n > SIZE_MAX - s->pos || !grow(s, s->pos + n)) return 0;
    if (n != 0) memcpy(s->data + s->pos, src, n);
    s->pos += n;
    if (s->pos > s->size) s->size = s->pos;
    return n;
}

size_t cube_stream_read_slow(cube_stream *s, void *dst, size_t n)
{
    if (s->file != nullptr) return fread(dst, 1, n, s->file);
    size_t left = s->size - s->pos;
    size_t take = n < left ? n : left;
    if (take != 0) memcpy(dst, s->data + s->pos, take);
    s->pos += take;
    return take;
}

int cube_stream_tell(cube_stream *s, uint64_t *pos)
{
    if (s->sink != nullptr) {
        const off_t at = ftello(s->sink);
        if (at < 0) return 0;
        *pos = (uint64_t)at + s->pos;
        return 1;
    }
    if (s->file == nullptr) {
        *pos = s->pos;
        return 1;
    }
    off_t at = ftello(s->file);
    if (at < 0) return 0;
    *pos = (uint64_t)at;
    return 1;
}

int cube_stream_seek(cube_stream *s, uint64_t pos)
{
    if (s->sink != nullptr) return 0;  // written in order only
    if (s->file == nullptr) {
        if (pos > s->size) return 0;
        s->pos = (size_t)pos;
        return 1;
    }
    if (pos > (uint64_t)INT64_MAX) return 0;
    return fseeko(s->file, (off_t)pos, SEEK_SET) == 0;
}

uint64_t cube_stream_remaining(cube_stream *s)
{
    if (s->file == nullptr) return s->size - s->pos;
    uint64_t at;
    struct stat st;
    if (!cube_stream_tell(s, &at) || fstat(fileno(s->file), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return (uint64_t)st.st_size > at ? (uint64_t)st.st_size - at : 0;
}
