// Byte streams the engine reads and writes its dumps through: a stdio file or
// a memory buffer, plus little-endian field codecs. Dumps are always encoded
// field by field so their layout never depends on the compiler's packing.
#ifndef KIVO_CUBE_ENGINE_CUBE_STREAM_H
#define KIVO_CUBE_ENGINE_CUBE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

typedef struct cube_stream {
    FILE *file;          // non-null for a file stream
    uint8_t *data;       // memory stream buffer
    size_t size;         // bytes held (memory)
    size_t capacity;     // bytes allocated (memory writer)
    size_t pos;          // read/write position (memory)
    int writable;        // memory buffer may grow
    FILE *sink;          // buffered file writer: where a full buffer goes
} cube_stream;

void cube_stream_file(cube_stream *s, FILE *file);
// Reads from caller-owned bytes, which must outlive the stream.
void cube_stream_memory_reader(cube_stream *s, const void *data, size_t size);
// Writes into a growing buffer owned by the stream; 0 when reserving fails.
int cube_stream_memory_writer(cube_stream *s, size_t reserve);
// Writes to `file` through a buffer of `capacity` bytes, handed over each
// time it fills and at cube_stream_drain: a dump of any size costs one
// buffer, and the file sees a few large writes. 0 when the buffer cannot be had.
int cube_stream_file_writer(cube_stream *s, FILE *file, size_t capacity);
// Hands what a buffered file writer holds to its file; 0 when that write
// failed. Other streams have nothing to hand over.
int cube_stream_drain(cube_stream *s);
// Frees a memory writer's buffer; a file is left open for its owner, and
// what a buffered file writer has not drained is dropped.
void cube_stream_close(cube_stream *s);
// Rewinds a memory stream to empty, keeping its buffer.
void cube_stream_clear(cube_stream *s);

size_t cube_stream_write_slow(cube_stream *s, const void *src, size_t n);
size_t cube_stream_read_slow(cube_stream *s, void *dst, size_t n);

inline size_t cube_stream_write(cube_stream *s, const void *src, size_t n)
{
    if (s->file == nullptr && s->writable && s->capacity - s->pos >= n) {
        memcpy(s->data + s->pos, src, n);
        s->pos += n;
        if (s->pos > s->size) s->size = s->pos;
        return n;
    }
    return cube_stream_write_slow(s, src, n);
}

inline size_t cube_stream_read(cube_stream *s, void *dst, size_t n)
{
    if (s->file == nullptr && s->size - s->pos >= n) {
        if (n != 0) memcpy(dst, s->data + s->pos, n);
        s->pos += n;
        return n;
    }
    return cube_stream_read_slow(s, dst, n);
}

int cube_stream_tell(cube_stream *s, uint64_t *pos);
int cube_stream_seek(cube_stream *s, uint64_t pos);
// Bytes between the position and the end; 0 when that cannot be known, so
// that sizes claimed by a dump are never trusted beyond what is there.
uint64_t cube_stream_remaining(cube_stream *s);

// Little-endian field codecs.
inline void cube_put_u8(uint8_t *p, uint8_t v) { p[0] = v; }
inline void cube_put_u16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
inline void cube_put_u32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
inline void cube_put_u64(uint8_t *p, uint64_t v)
{
    cube_put_u32(p, (uint32_t)v);
    cube_put_u32(p + 4, (uint32_t)(v >> 32));
}
inline void cube_put_f32(uint8_t *p, float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    cube_put_u32(p, bits);
}
inline void cube_put_f64(uint8_t *p, double v)
{
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    cube_put_u64(p, bits);
}
inline uint16_t cube_get_u16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t cube_get_u32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
           ((uint32_t)p[3] << 24);
}
inline uint64_t cube_get_u64(const uint8_t *p)
{
    return (uint64_t)cube_get_u32(p) | ((uint64_t)cube_get_u32(p + 4) << 32);
}
inline float cube_get_f32(const uint8_t *p)
{
    uint32_t bits = cube_get_u32(p);
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}
inline double cube_get_f64(const uint8_t *p)
{
    uint64_t bits = cube_get_u64(p);
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

#endif
