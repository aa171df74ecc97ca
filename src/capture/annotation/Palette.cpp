#include "capture/annotation/Annotation.h"
