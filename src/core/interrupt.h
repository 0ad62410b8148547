// The question a long pass asks its caller before each row: stop here? A host answers it through
// its progress and abort callbacks; callers without a host pass an empty check, which never stops.
#pragma once

#include <cstdint>
#include <functional>

namespace shimmerly {

// Asked as (row, rowCount, code) before row `row` of `rowCount`: true means stop, and the code
// to return has then been written to *code.
using InterruptCheck = std::function<bool(int32_t row, int32_t rowCount, int32_t* code)>;

}  // namespace shimmerly
