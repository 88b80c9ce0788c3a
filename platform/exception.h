// Exception lives in drawing/exception.h; this name forwards there, so that
// both spellings of the include give the one class.

#pragma once

#include "../drawing/exception.h"
