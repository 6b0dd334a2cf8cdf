#pragma once

#include <memory>

#include "web/WQAlertCenter.h"

namespace parlivo {

// Alerts as GTK message dialogs: transient for (and modal to) the alert's window, or the
// application's active window, so they sit on it like a sheet; a free dialog when there is no
// window. Never a nested main loop: the dialog answers through its response signal. The
// page's titles are plain text (no markup, no mnemonics); Return presses the first button,
// Escape and the close button end the alert without one. The appearance is marked with the
// style class "parlivo-light" or "parlivo-dark" (GTK has no per-window theme variant; the
// program-wide one follows the same visual style).
std::shared_ptr<WQAlertCenter::Presenter> makeAlertDialogPresenter();

}  // namespace parlivo
