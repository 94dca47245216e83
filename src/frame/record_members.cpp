// Members of two small plain-data records that the export table carries for hosts that use them.
#include <string.h>

#include "kalvex2/records.h"

static_assert(sizeof(cRecord32) == 32);
static_assert(sizeof(cWordRecord) == 68);

cRecord32& cRecord32::operator=(const cRecord32& other)
{
    memmove(words, other.words, sizeof words);
    return *this;
}

unsigned long cWordRecord::GetSeventeenth() const { return words[16]; }
