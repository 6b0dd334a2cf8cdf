#include "web/WQLocalWebStore.h"

// Placeholder until the local web store is built.
namespace parlivo {

WQLocalWebStore::WQLocalWebStore() : userDefaultsPrefix_("WQLocalWebStore") {}

void WQLocalWebStore::didReceiveScriptMessage(const platform::ScriptMessage&) {}

void WQLocalWebStore::updateStore(const std::shared_ptr<platform::JavaScriptEvaluator>&,
                                  std::function<void()> completion) {
    if (completion) completion();
}

}  // namespace parlivo
