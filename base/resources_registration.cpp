#include "base/resources_registration.h"

#include <QtGlobal>

static int register_bundles()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(i18n);
    return 1;
}

static int unregister_bundles()
{
    Q_CLEANUP_RESOURCE(i18n);
    Q_CLEANUP_RESOURCE(resources);
    return 1;
}

namespace {
struct bundle_registration {
    bundle_registration() { register_bundles(); }
    ~bundle_registration() { unregister_bundles(); }
};
const bundle_registration registration;
}  // namespace

bool velmora_resources_registered() { return true; }
