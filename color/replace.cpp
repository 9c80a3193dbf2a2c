// Replacement routines of the "conv" suite (the convention itself: glue/replace.h).
#include "glue/replace.h"

BL_HANDED_ON(RGBtoLAB);
BL_HANDED_ON(CMYKtoRGB);
BL_HANDED_ON(FastCMYKtoRGB);
BL_HANDED_ON(LABtoCMYK);
