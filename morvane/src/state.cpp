#include "state.h"

namespace morvane {

Settings& CurrentSettings() {
    static Settings settings;
    return settings;
}

} // namespace morvane
