// Records of one ping that the device models and error models read and
// write: the sounding record (80 bytes, twenty 32-bit words) and the ping
// record. Words that no model touches are carried as they stand.
#ifndef KIVO_CUBE_ENGINE_CUBE_SOUNDING_H
#define KIVO_CUBE_ENGINE_CUBE_SOUNDING_H

#include <cstdint>

// Degrees to radians as the models have always used it (a hair above pi/180),
// and its square for squared degrees.
#define CUBE_DEG2RAD 0.017453292522222223
#define CUBE_DEG2RAD_SQ 0.00030461741986625816

// Word 12 of a sounding: bit 0 says bits 1 to 8 hold a sample count.
#define SOUNDING_COUNT_BIT 0x1u
#define SOUNDING_COUNT_SHIFT 1
#define SOUNDING_COUNT_MASK 0xFFu

typedef struct _sounding {
    uint16_t word0_low;           // bytes 0-1
    uint16_t beam_number;         // bytes 2-3: index into the beam-angle table
    uint8_t byte4;                // byte 4
    uint8_t head;                 // byte 5: 0 first transducer head, else second
    uint16_t word1_high;          // bytes 6-7
    uint32_t words2_5[4];         // words 2 to 5
    float depth;                  // word 6 (m)
    float range;                  // word 7 (m)
    float dz;                     // word 8: vertical variance (m^2), written
    float dr;                     // word 9: horizontal variance (m^2), written
    uint32_t words10_11[2];       // words 10, 11
    uint32_t flags;               // word 12: count bit and sample count
    float x13;                    // word 13 (m)
    uint32_t word14;              // word 14
    float slope15;                // word 15: slope factor (invalid float = 0)
    float slope16;                // word 16: slope factor (invalid float = 0)
    float across_footprint;       // word 17 (m)
    float along_footprint;        // word 18 (m)
    uint32_t word19;              // word 19
} _sounding;

typedef struct _ping {
    uint32_t words0_5[6];  // words 0 to 5
    float roll;            // word 6 (degrees)
    float pitch;           // word 7 (degrees)
    uint32_t word8;        // word 8
    float heave;           // word 9 (m)
    float surf_sspeed;     // word 10: sound speed at the transducer (m/s)
    float sspeed;          // word 11: sound speed c (m/s)
    float sog;             // word 12: speed over ground (m/s)
} _ping;

static_assert(sizeof(_sounding) == 80, "sounding record is twenty 32-bit words");
static_assert(sizeof(_ping) == 52, "ping record is thirteen 32-bit words");

#endif
