// Finally: runs a cleanup on every way out of a scope (the shared TFinally).
#pragma once
#include "net/TextHelpers.h"

template <typename F>
using Finally = TFinally<F>;
