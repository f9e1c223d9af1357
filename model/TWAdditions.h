#pragma once

// The utility additions to arrays, strings, errors and dates in one include.

#include "model/TWArrayAdditions.h"
#include "model/TWDateAdditions.h"
#include "model/TWErrorAdditions.h"
#include "model/TWStringAdditions.h"
