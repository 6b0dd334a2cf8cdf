#pragma once

namespace parlivo {

class Trellik;

// The settings model's parts that live on the desktop. The model declares what it needs of them
// (StatusIndicator, GlobalShortcut, DesktopNotificationDelivery); the shell makes them and hands
// them over.

// Gives `trellik` its tray item (with the launcher badge) and its global shortcut.
void attachStatusItemAndShortcut(Trellik& trellik);

// Trellik::shared() as the program runs it: with its tray item, its shortcut and the delivery of
// desktop notifications through the desktop's notification centre, whose delegate it is. The
// parts are handed over on the first call; later calls only return the model.
Trellik& connectedSettingsModel();

}  // namespace parlivo
