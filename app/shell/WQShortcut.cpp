#include "shell/WQShortcut.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include <array>

#include "foundation/Log.h"
#include "foundation/UserDefaults.h"
#include "settings/Trellik.h"
#include "shell/ShortcutRecorder.h"
#include "ui/GlobalHotkey.h"

namespace parlivo {

namespace {

struct KeyMapping {
    int macKeyCode;
    unsigned keyval;
};

// Mac virtual key codes (the US layout's physical keys) and the GDK key value on the same key.
constexpr std::array<KeyMapping, 74> keyTable{{
    {0, GDK_KEY_a},   {1, GDK_KEY_s},   {2, GDK_KEY_d},   {3, GDK_KEY_f},   {4, GDK_KEY_h},   {5, GDK_KEY_g},
    {6, GDK_KEY_z},   {7, GDK_KEY_x},   {8, GDK_KEY_c},   {9, GDK_KEY_v},   {11, GDK_KEY_b},  {12, GDK_KEY_q},
    {13, GDK_KEY_w},  {14, GDK_KEY_e},  {15, GDK_KEY_r},  {16, GDK_KEY_y},  {17, GDK_KEY_t},  {31, GDK_KEY_o},
    {32, GDK_KEY_u},  {34, GDK_KEY_i},  {35, GDK_KEY_p},  {37, GDK_KEY_l},  {38, GDK_KEY_j},  {40, GDK_KEY_k},
    {45, GDK_KEY_n},  {46, GDK_KEY_m},
    {18, GDK_KEY_1},  {19, GDK_KEY_2},  {20, GDK_KEY_3},  {21, GDK_KEY_4},  {23, GDK_KEY_5},  {22, GDK_KEY_6},
    {26, GDK_KEY_7},  {28, GDK_KEY_8},  {25, GDK_KEY_9},  {29, GDK_KEY_0},
    {24, GDK_KEY_equal}, {27, GDK_KEY_minus}, {30, GDK_KEY_bracketright}, {33, GDK_KEY_bracketleft},
    {39, GDK_KEY_apostrophe}, {41, GDK_KEY_semicolon}, {42, GDK_KEY_backslash}, {43, GDK_KEY_comma},
    {44, GDK_KEY_slash}, {47, GDK_KEY_period}, {50, GDK_KEY_grave},
    {36, GDK_KEY_Return}, {48, GDK_KEY_Tab}, {49, GDK_KEY_space}, {51, GDK_KEY_BackSpace}, {53, GDK_KEY_Escape},
    {122, GDK_KEY_F1}, {120, GDK_KEY_F2}, {99, GDK_KEY_F3}, {118, GDK_KEY_F4}, {96, GDK_KEY_F5}, {97, GDK_KEY_F6},
    {98, GDK_KEY_F7}, {100, GDK_KEY_F8}, {101, GDK_KEY_F9}, {109, GDK_KEY_F10}, {103, GDK_KEY_F11},
    {111, GDK_KEY_F12},
    {115, GDK_KEY_Home}, {116, GDK_KEY_Page_Up}, {117, GDK_KEY_Delete}, {119, GDK_KEY_End},
    {121, GDK_KEY_Page_Down}, {123, GDK_KEY_Left}, {124, GDK_KEY_Right}, {125, GDK_KEY_Down}, {126, GDK_KEY_Up},
    {114, GDK_KEY_Insert},
}};

constexpr std::uint64_t modifierMask =
    WQShortcut::shiftFlag | WQShortcut::controlFlag | WQShortcut::optionFlag | WQShortcut::commandFlag;

std::string key() { return std::string(WQShortcut::defaultsKey); }

}  // namespace

WQShortcut::WQShortcut()
    : hotkey_(std::make_unique<platform::GlobalHotkey>()), self_(std::make_shared<WQShortcut*>(this)) {
    rebind();
}

WQShortcut* WQShortcut::of(const Trellik& trellik) { return dynamic_cast<WQShortcut*>(trellik.shortCut()); }

WQShortcut::~WQShortcut() {
    *self_ = nullptr;
    // The recorder first: one destroyed while it listens hands the grab back, which needs the hotkey.
    shortcutView_.reset();
    hotkey_.reset();
}

void WQShortcut::performAction() {
    if (action_) action_();
}

std::optional<WQShortcut::Shortcut> WQShortcut::currentShortcut() const {
    auto stored = platform::UserDefaults::standard().object(key());
    if (!stored) return defaultShortcut;
    const auto* record = stored->asDictionary();
    if (!record) return defaultShortcut;
    if (record->empty()) return std::nullopt;  // cleared by the user
    auto keyCode = (*stored)["keyCode"].asInt();
    auto flags = (*stored)["modifierFlags"].asInt();
    if (!keyCode || !flags || *keyCode < 0 || *keyCode > 0xff || *flags < 0) return defaultShortcut;
    Shortcut shortcut{static_cast<int>(*keyCode), static_cast<std::uint64_t>(*flags) & modifierMask};
    // The settings file is not to be trusted: a record that would grab a plain typing key from
    // every program on the desktop is not used.
    if (!gdkCombination(shortcut) || !isUsable(shortcut)) return defaultShortcut;
    return shortcut;
}

void WQShortcut::setShortcut(std::optional<Shortcut> shortcut) {
    platform::PropertyList record = platform::PropertyList::dictionary();
    if (shortcut) {
        record.set("keyCode", shortcut->keyCode);
        record.set("modifierFlags", static_cast<std::int64_t>(shortcut->modifierFlags & modifierMask));
    }
    platform::UserDefaults::standard().set(key(), std::move(record));
    rebind();
}

void WQShortcut::rebind() {
    hotkey_->unbind();
    if (suspended_) return;
    auto shortcut = currentShortcut();
    if (!shortcut) return;
    auto combination = gdkCombination(*shortcut);
    if (!combination) return;
    std::weak_ptr<WQShortcut*> weak = self_;
    hotkey_->bind(combination->first, combination->second, [weak] {
        if (auto self = weak.lock(); self && *self) (*self)->performAction();
    });
}

void WQShortcut::setSuspended(bool suspended) {
    if (suspended_ == suspended) return;
    suspended_ = suspended;
    rebind();
}

bool WQShortcut::isBound() const { return hotkey_->isBound(); }


ShortcutRecorder& WQShortcut::shortcutView() {
    if (!shortcutView_) shortcutView_ = std::make_unique<ShortcutRecorder>(*this);
    return *shortcutView_;
}

bool WQShortcut::isUsable(const Shortcut& shortcut) {
    auto combination = gdkCombination(shortcut);
    if (!combination) return false;
    const bool isFunctionKey = combination->first >= GDK_KEY_F1 && combination->first <= GDK_KEY_F12;
    return isFunctionKey || (shortcut.modifierFlags & (controlFlag | optionFlag | commandFlag)) != 0;
}

std::optional<std::pair<unsigned, unsigned>> WQShortcut::gdkCombination(const Shortcut& shortcut) {
    for (const auto& entry : keyTable) {
        if (entry.macKeyCode != shortcut.keyCode) continue;
        unsigned modifiers = 0;
        if (shortcut.modifierFlags & shiftFlag) modifiers |= GDK_SHIFT_MASK;
        if (shortcut.modifierFlags & controlFlag) modifiers |= GDK_CONTROL_MASK;
        if (shortcut.modifierFlags & optionFlag) modifiers |= GDK_MOD1_MASK;
        if (shortcut.modifierFlags & commandFlag) modifiers |= GDK_SUPER_MASK;
        return std::make_pair(entry.keyval, modifiers);
    }
    return std::nullopt;
}

std::optional<WQShortcut::Shortcut> WQShortcut::shortcutFromGdk(unsigned keyval, unsigned modifiers) {
    const unsigned lower = gdk_keyval_to_lower(keyval);
    for (const auto& entry : keyTable) {
        if (entry.keyval != lower) continue;
        Shortcut shortcut{entry.macKeyCode, 0};
        if (modifiers & GDK_SHIFT_MASK) shortcut.modifierFlags |= shiftFlag;
        if (modifiers & GDK_CONTROL_MASK) shortcut.modifierFlags |= controlFlag;
        if (modifiers & GDK_MOD1_MASK) shortcut.modifierFlags |= optionFlag;
        if (modifiers & (GDK_SUPER_MASK | GDK_MOD4_MASK)) shortcut.modifierFlags |= commandFlag;
        return shortcut;
    }
    return std::nullopt;
}

std::string WQShortcut::displayName(const Shortcut& shortcut) {
    auto combination = gdkCombination(shortcut);
    if (!combination) return {};
    gchar* label = gtk_accelerator_get_label(combination->first, GdkModifierType(combination->second));
    std::string text = label ? label : "";
    g_free(label);
    return text;
}

}  // namespace parlivo
