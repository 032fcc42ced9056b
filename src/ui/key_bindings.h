// key_bindings.h: every keyboard shortcut of the window and the preview in one
// table. The menus, the video list and the preview take their keys from it, and
// the man page's KEYS section is made from it (a test holds the two in step),
// so what a user reads is what the keys do.
#pragma once

#include <QKeyEvent>
#include <QKeySequence>
#include <QList>
#include <QString>

namespace reelkeep {

enum class KeyAction {
    scan,
    stopScan,
    preview,
    showInFolder,
    copyNames,
    copyPaths,
    favorites,
    exportCopy,
    selectAll,
    deselectAll,
    moveToTrash,
    undoMoveToTrash,
    find,
    clearSearch,
    toggleSidebar,
    settings,
    quit,
    playPause,
    seekBack,
    seekForward,
    seekStart,
    seekEnd,
    mute,
    closePreview,
};

enum class KeyPlace { window, videoList, search, preview };

struct KeyBinding {
    KeyAction action;
    KeyPlace place;
    QList<QKeySequence> keys;  // the first is the one menus show
    const char* description;   // for the man page: what the key does, one sentence
};

const QList<KeyBinding>& keyBindings();
QList<QKeySequence> shortcutsFor(KeyAction action);
// Whether a key press is one of the action's keys; keypad Enter counts as Enter.
bool matchesKey(KeyAction action, const QKeyEvent& pressed);

// The seek step of the preview's arrow keys.
inline constexpr int kSeekStepMs = 5000;

// The man page's KEYS section, in roff, from the table above.
QString keysManSection();

}  // namespace reelkeep
