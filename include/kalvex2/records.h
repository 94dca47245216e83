/* Kalvex2 SDK: small record members that hosts reach by ordinal. */
#ifndef KALVEX2_RECORDS_H
#define KALVEX2_RECORDS_H

#include "base.h"

/* A 32-byte record of plain words, copied as a whole. */
class KX_API cRecord32 {
public:
    unsigned long words[8];
    cRecord32& operator=(const cRecord32& other);
};

/* Read access to the seventeenth word of a 17-word record. */
class KX_API cWordRecord {
public:
    unsigned long words[17];
    unsigned long GetSeventeenth() const;
};

#endif
