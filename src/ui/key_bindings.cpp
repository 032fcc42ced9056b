// key_bindings.cpp: the shortcut table and its man-page rendering.
#include "key_bindings.h"

#include <QStringList>

namespace reelkeep {

namespace {

QKeySequence keys(QKeyCombination combination) {
    return QKeySequence(combination);
}

}  // namespace

const QList<KeyBinding>& keyBindings() {
    using enum KeyAction;
    using Place = KeyPlace;
    static const QList<KeyBinding> table{
        {scan,
         Place::window,
         {keys(Qt::Key_F5), keys(Qt::CTRL | Qt::Key_R)},
         "Scan the library folders again."},
        {stopScan, Place::window, {keys(Qt::CTRL | Qt::Key_Period)}, "Stop the scan under way."},
        {find, Place::window, {QKeySequence(QKeySequence::Find)}, "Put the cursor in the search field."},
        {copyNames,
         Place::window,
         {QKeySequence(QKeySequence::Copy)},
         "Copy the names of the selected videos, one a line."},
        {copyPaths,
         Place::window,
         {keys(Qt::CTRL | Qt::ALT | Qt::Key_C)},
         "Copy the full paths of the selected videos, one a line."},
        {selectAll, Place::window, {QKeySequence(QKeySequence::SelectAll)}, "Select every video shown."},
        {deselectAll, Place::window, {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_A)}, "Select nothing."},
        {moveToTrash,
         Place::window,
         {keys(Qt::Key_Delete), keys(Qt::CTRL | Qt::Key_Backspace)},
         "Move the selected videos to the trash, after a confirmation."},
        {undoMoveToTrash,
         Place::window,
         {QKeySequence(QKeySequence::Undo)},
         "Put back the videos of the last Move to Trash."},
        {exportCopy,
         Place::window,
         {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
         "Export a copy of the selected videos."},
        {showInFolder,
         Place::window,
         {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
         "Show the selected video in the file manager."},
        {favorites,
         Place::window,
         {keys(Qt::CTRL | Qt::Key_D)},
         "Add the selected videos to the favorites, or remove them."},
        {toggleSidebar, Place::window, {keys(Qt::Key_F9)}, "Hide or show the sidebar."},
        {settings, Place::window, {keys(Qt::CTRL | Qt::Key_Comma)}, "Open the settings."},
        {quit, Place::window, {keys(Qt::CTRL | Qt::Key_Q)}, "Quit."},
        {preview,
         Place::videoList,
         {keys(Qt::Key_Space), keys(Qt::Key_Return), keys(Qt::Key_Enter)},
         "Preview the video of the current row."},
        {clearSearch, Place::search, {keys(Qt::Key_Escape)}, "Clear the search."},
        {playPause, Place::preview, {keys(Qt::Key_Space)}, "Play or pause."},
        {seekBack, Place::preview, {keys(Qt::Key_Left)}, "Go back 5 seconds."},
        {seekForward, Place::preview, {keys(Qt::Key_Right)}, "Go forward 5 seconds."},
        {seekStart, Place::preview, {keys(Qt::Key_Home)}, "Go to the start."},
        {seekEnd, Place::preview, {keys(Qt::Key_End)}, "Go to the end."},
        {mute, Place::preview, {keys(Qt::Key_M)}, "Mute or unmute."},
        {closePreview, Place::preview, {keys(Qt::Key_Escape)}, "Close the preview."},
    };
    return table;
}

QList<QKeySequence> shortcutsFor(KeyAction action) {
    for (const KeyBinding& binding : keyBindings())
        if (binding.action == action) return binding.keys;
    return {};
}

bool matchesKey(KeyAction action, const QKeyEvent& pressed) {
    const QKeyCombination combination(pressed.modifiers() & ~Qt::KeypadModifier, Qt::Key(pressed.key()));
    return shortcutsFor(action).contains(QKeySequence(combination));
}

QString keysManSection() {
    // Portable text: the same on every desktop and in every language.
    const auto keyText = [](const QList<QKeySequence>& sequences) {
        QStringList texts;
        for (const QKeySequence& sequence : sequences)
            texts << sequence.toString(QKeySequence::PortableText)
                         .replace(QLatin1Char('+'), QLatin1String("\\(pl"));
        return texts.join(QLatin1String(", "));
    };
    const struct {
        KeyPlace place;
        const char* heading;
    } places[] = {{KeyPlace::window, "In the window:"},
                  {KeyPlace::videoList, "In the list of videos:"},
                  {KeyPlace::search, "In the search field:"},
                  {KeyPlace::preview, "In the preview:"}};
    QString roff = QStringLiteral(".SH KEYS\n");
    bool isFirst = true;
    for (const auto& place : places) {
        roff += QLatin1String(isFirst ? "" : ".PP\n") + QLatin1String(place.heading) + QLatin1Char('\n');
        isFirst = false;
        for (const KeyBinding& binding : keyBindings()) {
            if (binding.place != place.place) continue;
            roff += QStringLiteral(".TP\n.B %1\n%2\n")
                        .arg(keyText(binding.keys), QLatin1String(binding.description));
        }
    }
    return roff;
}

}  // namespace reelkeep
