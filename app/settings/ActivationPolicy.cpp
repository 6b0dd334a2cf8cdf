#include "settings/ActivationPolicy.h"

namespace parlivo {

namespace {
ActivationPolicy& current() {
    static ActivationPolicy policy = ActivationPolicy::regular;
    return policy;
}
}  // namespace

ActivationPolicy ApplicationActivation::policy() { return current(); }

bool ApplicationActivation::setPolicy(ActivationPolicy policy) {
    current() = policy;
    return true;
}

}  // namespace parlivo
