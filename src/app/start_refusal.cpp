#include "app/start_refusal.h"

#include "platform/string_table.h"

namespace cvp {

unsigned StartRefusal(System& system) {
    bool wow64 = true;
    if (!system.QueryWow64(&wow64) || wow64) return IDS_REFUSED_64_BIT;
    bool administrator = false;
    if (!system.CheckAdministratorsMembership(&administrator) || !administrator) {
        return IDS_REFUSED_NOT_ADMINISTRATOR;
    }
    return 0;
}

}  // namespace cvp
