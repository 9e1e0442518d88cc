#pragma once

#include <cstdint>

namespace quillon {

// Which way files travel: from the server to the local disk, or from the local disk to the
// server. The values are those the transfer code has always stored and compared.
enum class Direction : int32_t { Download = 0, Upload = 1 };

}  // namespace quillon
