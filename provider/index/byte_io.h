// The index code's byte-order helpers are the provider's own (provider/byte_order.h).
#pragma once

#include "provider/byte_order.h"
