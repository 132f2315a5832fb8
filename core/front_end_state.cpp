#include "core/front_end_state.h"

FrontEndState frontEndState;
