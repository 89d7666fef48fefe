// Owner of a POSIX file descriptor: closes it when it goes.
#pragma once

#include <unistd.h>

#include "base/unique_any.h"

namespace tamsel {

using UniqueFd = UniqueAny<int, &::close, -1>;

}  // namespace tamsel
