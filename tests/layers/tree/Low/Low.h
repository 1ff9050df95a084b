#pragma once
// Runs against the layers: the check must refuse it.
#include "High/High.h"
