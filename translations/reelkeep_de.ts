<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>reelkeep</name>
    <message>
        <source>No library folder can be read.</source>
        <translation>Kein Bibliotheksordner kann gelesen werden.</translation>
    </message>
    <message>
        <source>This video&apos;s file could not be read.</source>
        <translation>Die Datei dieses Videos konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>This video&apos;s file was moved, renamed or changed since the scan.</source>
        <translation>Die Datei dieses Videos wurde seit dem Durchsuchen verschoben, umbenannt oder geändert.</translation>
    </message>
    <message>
        <source>This file has no video that can be played.</source>
        <translation>Diese Datei enthält kein abspielbares Video.</translation>
    </message>
    <message>
        <source>The operation was cancelled.</source>
        <translation>Der Vorgang wurde abgebrochen.</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>Byte</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>TB</source>
        <translation>TB</translation>
    </message>
    <message>
        <source>PB</source>
        <translation>PB</translation>
    </message>
    <message>
        <source>EB</source>
        <translation>EB</translation>
    </message>
    <message>
        <source>Zero KB</source>
        <translation>Null KB</translation>
    </message>
    <message>
        <source>%1 byte</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <source>Unknown date</source>
        <translation>Unbekanntes Datum</translation>
    </message>
    <message>
        <source>All sizes</source>
        <translation>Alle Größen</translation>
    </message>
    <message>
        <source>100 MB and up</source>
        <translation>Ab 100 MB</translation>
    </message>
    <message>
        <source>500 MB and up</source>
        <translation>Ab 500 MB</translation>
    </message>
    <message>
        <source>1 GB and up</source>
        <translation>Ab 1 GB</translation>
    </message>
    <message>
        <source>2 GB and up</source>
        <translation>Ab 2 GB</translation>
    </message>
    <message>
        <source>The video is no longer in the library.</source>
        <translation>Das Video ist nicht mehr in der Bibliothek.</translation>
    </message>
    <message>
        <source>“%1” is not a file name that can be written.</source>
        <translation>„%1“ ist kein Dateiname, der geschrieben werden kann.</translation>
    </message>
    <message>
        <source>The thumbnail took too long to make.</source>
        <translation>Das Vorschaubild hat zu lange gebraucht.</translation>
    </message>
    <message>
        <source>This video has no picture to show.</source>
        <translation>Dieses Video hat kein Bild, das gezeigt werden kann.</translation>
    </message>
    <message>
        <source>Could not open “%1”: %2.</source>
        <translation>„%1“ konnte nicht geöffnet werden: %2.</translation>
    </message>
    <message>
        <source>Could not read the details of “%1”: %2.</source>
        <translation>Die Angaben zu „%1“ konnten nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Could not read the folder “%1”: %2.</source>
        <translation>Der Ordner „%1“ konnte nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Could not read “%1”: %2.</source>
        <translation>„%1“ konnte nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>Could not create “%1”: %2.</source>
        <translation>„%1“ konnte nicht angelegt werden: %2.</translation>
    </message>
    <message>
        <source>Could not write “%1”: %2.</source>
        <translation>„%1“ konnte nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>Could not save “%1” to the disk: %2.</source>
        <translation>„%1“ konnte nicht auf dem Datenträger gesichert werden: %2.</translation>
    </message>
    <message>
        <source>Could not give “%1” its name: %2.</source>
        <translation>„%1“ konnte seinen Namen nicht erhalten: %2.</translation>
    </message>
    <message>
        <source>Could not remove the temporary file “%1”: %2.</source>
        <translation>Die temporäre Datei „%1“ konnte nicht entfernt werden: %2.</translation>
    </message>
    <message>
        <source>Could not create the folder “%1”: %2.</source>
        <translation>Der Ordner „%1“ konnte nicht angelegt werden: %2.</translation>
    </message>
    <message>
        <source>Could not move “%1” to the trash: %2.</source>
        <translation>„%1“ konnte nicht in den Papierkorb verschoben werden: %2.</translation>
    </message>
    <message>
        <source>Could not watch the folder “%1” for changes: %2.</source>
        <translation>Der Ordner „%1“ kann nicht auf Änderungen überwacht werden: %2.</translation>
    </message>
    <message>
        <source>Could not use “%1”: %2.</source>
        <translation>„%1“ konnte nicht verwendet werden: %2.</translation>
    </message>
    <message>
        <source>“%1” was changed, moved or deleted since the scan; nothing was done to it.</source>
        <translation>„%1“ wurde seit dem Durchsuchen geändert, verschoben oder gelöscht; es wurde nichts damit gemacht.</translation>
    </message>
    <message>
        <source>“%1” is not a regular file; nothing was done to it.</source>
        <translation>„%1“ ist keine gewöhnliche Datei; es wurde nichts damit gemacht.</translation>
    </message>
    <message>
        <source>“%1” already exists; it was not replaced.</source>
        <translation>„%1“ existiert bereits; es wurde nicht ersetzt.</translation>
    </message>
    <message>
        <source>“%1” is the file being copied; it was not changed.</source>
        <translation>„%1“ ist die Datei, die kopiert wird; sie wurde nicht verändert.</translation>
    </message>
    <message>
        <source>“%1” is on a disk without a usable trash folder; it was left where it is.</source>
        <translation>„%1“ liegt auf einem Datenträger ohne nutzbaren Papierkorb; die Datei bleibt, wo sie ist.</translation>
    </message>
    <message>
        <source>No safe trash folder was found for “%1”; it was left where it is.</source>
        <translation>Für „%1“ wurde kein sicherer Papierkorb gefunden; die Datei bleibt, wo sie ist.</translation>
    </message>
    <message>
        <source>Copying “%1” stopped after %2 of %3 bytes; the incomplete copy was removed.</source>
        <translation>Das Kopieren von „%1“ endete nach %2 von %3 Byte; die unvollständige Kopie wurde entfernt.</translation>
    </message>
    <message>
        <source>Work on “%1” was stopped before it was done.</source>
        <translation>Die Arbeit an „%1“ wurde vor dem Ende angehalten.</translation>
    </message>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Hell</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dunkel</translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s)</source>
        <translation>
            <numerusform>%Ln Video</numerusform>
            <numerusform>%Ln Videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Export Copy</source>
        <translation>Kopie exportieren</translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation>„%1“</translation>
    </message>
    <message>
        <source>Reelkeep</source>
        <translation>Reelkeep</translation>
    </message>
    <message>
        <source>Your video folders changed.</source>
        <translation>Deine Videoordner haben sich geändert.</translation>
    </message>
    <message>
        <source>Rescan</source>
        <translation>Neu durchsuchen</translation>
    </message>
    <message>
        <source>Deselect</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Scanning your video folders…</source>
        <translation>Deine Videoordner werden durchsucht …</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Search by filename</source>
        <translation>Nach Dateiname suchen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation>Erscheinungsbild</translation>
    </message>
    <message>
        <source>Hide Sidebar</source>
        <translation>Seitenleiste ausblenden</translation>
    </message>
    <message>
        <source>Show Sidebar</source>
        <translation>Seitenleiste einblenden</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>About Reelkeep</source>
        <translation>Über Reelkeep</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Stop scanning</source>
        <translation>Durchsuchen anhalten</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Rescan your video folders</source>
        <translation>Deine Videoordner neu durchsuchen</translation>
    </message>
    <message>
        <source>No library folder can be read</source>
        <translation>Kein Bibliotheksordner kann gelesen werden</translation>
    </message>
    <message>
        <source>Reelkeep could not open any of your video folders. They may be on a drive that is not connected, or not readable by you. Choose the folders that hold your videos.</source>
        <translation>Reelkeep konnte keinen deiner Videoordner öffnen. Vielleicht liegen sie auf einem Laufwerk, das nicht angeschlossen ist, oder du darfst sie nicht lesen. Wähle die Ordner, in denen deine Videos liegen.</translation>
    </message>
    <message>
        <source>Choose Folders…</source>
        <translation>Ordner wählen …</translation>
    </message>
    <message>
        <source>No videos</source>
        <translation>Keine Videos</translation>
    </message>
    <message>
        <source>Your video folders have not been scanned yet.</source>
        <translation>Deine Videoordner wurden noch nicht durchsucht.</translation>
    </message>
    <message>
        <source>No video was found in your video folders.</source>
        <translation>In deinen Videoordnern wurde kein Video gefunden.</translation>
    </message>
    <message numerus="yes">
        <source>No video was found in the folder(s) %1.</source>
        <translation>
            <numerusform>Im Ordner %1 wurde kein Video gefunden.</numerusform>
            <numerusform>In den Ordnern %1 wurde kein Video gefunden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation>Ordner hinzufügen …</translation>
    </message>
    <message>
        <source>No matches</source>
        <translation>Keine Treffer</translation>
    </message>
    <message>
        <source>No video matches the current search and size filter.</source>
        <translation>Kein Video passt zur aktuellen Suche und zum Größenfilter.</translation>
    </message>
    <message>
        <source>Clear filters</source>
        <translation>Filter zurücksetzen</translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) selected</source>
        <translation>
            <numerusform>%Ln Video ausgewählt</numerusform>
            <numerusform>%Ln Videos ausgewählt</numerusform>
        </translation>
    </message>
    <message>
        <source>Frees %1 once the Trash is emptied</source>
        <translation>Gibt %1 frei, sobald der Papierkorb geleert ist</translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) with unknown size</source>
        <translation>
            <numerusform>%Ln Video mit unbekannter Größe</numerusform>
            <numerusform>%Ln Videos mit unbekannter Größe</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Move %Ln video(s) to the Trash?</source>
        <translation>
            <numerusform>%Ln Video in den Papierkorb verschieben?</numerusform>
            <numerusform>%Ln Videos in den Papierkorb verschieben?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>You can restore them from the Trash. Their space is freed when the Trash is emptied.</source>
        <translation>
            <numerusform>Du kannst es aus dem Papierkorb wiederherstellen. Sein Speicherplatz wird frei, wenn der Papierkorb geleert wird.</numerusform>
            <numerusform>Du kannst sie aus dem Papierkorb wiederherstellen. Ihr Speicherplatz wird frei, wenn der Papierkorb geleert wird.</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Something went wrong</source>
        <translation>Etwas ist schiefgegangen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Lists every video in your folders, biggest first, so you can free disk space.</source>
        <translation>Listet jedes Video in deinen Ordnern auf, das größte zuerst, damit du Speicherplatz freigeben kannst.</translation>
    </message>
    <message>
        <source>Released under the MIT licence. Reelkeep comes with no warranty.</source>
        <translation>Veröffentlicht unter der MIT-Lizenz. Reelkeep kommt ohne jede Gewährleistung.</translation>
    </message>
    <message>
        <source>Library folders:</source>
        <translation>Bibliotheksordner:</translation>
    </message>
    <message>
        <source>none can be read</source>
        <translation>keiner kann gelesen werden</translation>
    </message>
    <message>
        <source>Favorites: %1</source>
        <translation>Favoriten: %1</translation>
    </message>
    <message>
        <source>Settings: %1, %2</source>
        <translation>Einstellungen: %1, %2</translation>
    </message>
    <message>
        <source>Reelkeep %1</source>
        <translation>Reelkeep %1</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Loading preview…</source>
        <translation>Vorschau wird geladen …</translation>
    </message>
    <message>
        <source>Preview unavailable</source>
        <translation>Vorschau nicht verfügbar</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm schalten</translation>
    </message>
    <message>
        <source>The video took too long to load.</source>
        <translation>Das Video hat zu lange zum Laden gebraucht.</translation>
    </message>
    <message>
        <source>This video cannot be played.</source>
        <translation>Dieses Video kann nicht abgespielt werden.</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Unmute</source>
        <translation>Ton einschalten</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Total size</source>
        <translation>Gesamtgröße</translation>
    </message>
    <message>
        <source>Library</source>
        <translation>Bibliothek</translation>
    </message>
    <message>
        <source>Shown</source>
        <translation>Angezeigt</translation>
    </message>
    <message>
        <source>Size unknown</source>
        <translation>Größe unbekannt</translation>
    </message>
    <message>
        <source>Videos</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>Videos whose files could not be read have no known size.</source>
        <translation>Videos, deren Dateien nicht gelesen werden konnten, haben keine bekannte Größe.</translation>
    </message>
    <message>
        <source>Scanning</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Counting videos…</source>
        <translation>Videos werden gezählt …</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Minimum size</source>
        <translation>Mindestgröße</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Duplikate</translation>
    </message>
    <message>
        <source>By date</source>
        <translation>Nach Datum</translation>
    </message>
    <message>
        <source>Same size</source>
        <translation>Gleiche Größe</translation>
    </message>
    <message>
        <source>Select Extra Copies</source>
        <translation>Überzählige Kopien auswählen</translation>
    </message>
    <message>
        <source>All dates</source>
        <translation>Alle Daten</translation>
    </message>
    <message>
        <source>Screen recording</source>
        <translation>Bildschirmaufnahme</translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation>Alle abwählen</translation>
    </message>
    <message>
        <source>Stop Scanning</source>
        <translation>Durchsuchen anhalten</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner zeigen</translation>
    </message>
    <message>
        <source>Copy Name</source>
        <translation>Namen kopieren</translation>
    </message>
    <message>
        <source>Copy Names</source>
        <translation>Namen kopieren</translation>
    </message>
    <message>
        <source>Add to Favorites</source>
        <translation>Zu Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>Remove from Favorites</source>
        <translation>Aus Favoriten entfernen</translation>
    </message>
    <message>
        <source>Export Copy…</source>
        <translation>Kopie exportieren …</translation>
    </message>
    <message>
        <source>Export Copies…</source>
        <translation>Kopien exportieren …</translation>
    </message>
    <message>
        <source>Favorite</source>
        <translation>Favorit</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>Hochformat</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>Querformat</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>Auflösung</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Erstellt</translation>
    </message>
    <message>
        <source>Checking your video folders…</source>
        <translation>Deine Videoordner werden geprüft …</translation>
    </message>
    <message>
        <source>No videos in your video folders.</source>
        <translation>Keine Videos in deinen Videoordnern.</translation>
    </message>
    <message numerus="yes">
        <source>Loaded %1 of %Ln video(s).</source>
        <translation>
            <numerusform>%1 von %Ln Video geladen.</numerusform>
            <numerusform>%1 von %Ln Videos geladen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Scan cancelled at %1 of %Ln video(s).</source>
        <translation>
            <numerusform>Durchsuchen bei %1 von %Ln Video abgebrochen.</numerusform>
            <numerusform>Durchsuchen bei %1 von %Ln Videos abgebrochen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s), size known for %1.</source>
        <translation>
            <numerusform>%Ln Video, Größe bekannt für %1.</numerusform>
            <numerusform>%Ln Videos, Größe bekannt für %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Scan cancelled.</source>
        <translation>Durchsuchen abgebrochen.</translation>
    </message>
    <message>
        <source>Scan failed.</source>
        <translation>Durchsuchen fehlgeschlagen.</translation>
    </message>
    <message numerus="yes">
        <source>Moving %Ln video(s) to the Trash…</source>
        <translation>
            <numerusform>%Ln Video wird in den Papierkorb verschoben …</numerusform>
            <numerusform>%Ln Videos werden in den Papierkorb verschoben …</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Moved %Ln video(s) to the Trash.</source>
        <translation>
            <numerusform>%Ln Video in den Papierkorb verschoben.</numerusform>
            <numerusform>%Ln Videos in den Papierkorb verschoben.</numerusform>
        </translation>
    </message>
    <message>
        <source>Moving to the Trash failed.</source>
        <translation>Verschieben in den Papierkorb fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Moving to the Trash was cancelled.</source>
        <translation>Verschieben in den Papierkorb abgebrochen.</translation>
    </message>
    <message numerus="yes">
        <source>Adding %Ln video(s) to Favorites…</source>
        <translation>
            <numerusform>%Ln Video wird zu den Favoriten hinzugefügt …</numerusform>
            <numerusform>%Ln Videos werden zu den Favoriten hinzugefügt …</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Removing %Ln video(s) from Favorites…</source>
        <translation>
            <numerusform>%Ln Video wird aus den Favoriten entfernt …</numerusform>
            <numerusform>%Ln Videos werden aus den Favoriten entfernt …</numerusform>
        </translation>
    </message>
    <message>
        <source>Favorite update failed.</source>
        <translation>Favoriten konnten nicht geändert werden.</translation>
    </message>
    <message numerus="yes">
        <source>Added %Ln video(s) to Favorites.</source>
        <translation>
            <numerusform>%Ln Video zu den Favoriten hinzugefügt.</numerusform>
            <numerusform>%Ln Videos zu den Favoriten hinzugefügt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Removed %Ln video(s) from Favorites.</source>
        <translation>
            <numerusform>%Ln Video aus den Favoriten entfernt.</numerusform>
            <numerusform>%Ln Videos aus den Favoriten entfernt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Exporting %Ln video(s)…</source>
        <translation>
            <numerusform>%Ln Video wird exportiert …</numerusform>
            <numerusform>%Ln Videos werden exportiert …</numerusform>
        </translation>
    </message>
    <message>
        <source>Exporting %1 of %2…</source>
        <translation>%1 von %2 wird exportiert …</translation>
    </message>
    <message numerus="yes">
        <source>Exported %1 of %Ln video(s).</source>
        <translation>
            <numerusform>%1 von %Ln Video exportiert.</numerusform>
            <numerusform>%1 von %Ln Videos exportiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Copied %1.</source>
        <translation>%1 kopiert.</translation>
    </message>
    <message numerus="yes">
        <source>Copied %Ln name(s).</source>
        <translation>
            <numerusform>%Ln Name kopiert.</numerusform>
            <numerusform>%Ln Namen kopiert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) no longer in your video folders.</source>
        <translation>
            <numerusform>%Ln Video ist nicht mehr in deinen Videoordnern.</numerusform>
            <numerusform>%Ln Videos sind nicht mehr in deinen Videoordnern.</numerusform>
        </translation>
    </message>
    <message>
        <source>Ready to scan your video folders.</source>
        <translation>Bereit, deine Videoordner zu durchsuchen.</translation>
    </message>
    <message>
        <source>Try &apos;reelkeep scan --help&apos;.</source>
        <translation>Siehe „reelkeep scan --help“.</translation>
    </message>
    <message>
        <source>A library folder (repeatable).</source>
        <translation>Ein Bibliotheksordner (mehrfach möglich).</translation>
    </message>
    <message>
        <source>Print JSON instead of a table.</source>
        <translation>JSON statt einer Tabelle ausgeben.</translation>
    </message>
    <message>
        <source>Only videos that share their exact size with another.</source>
        <translation>Nur Videos, die genau so groß sind wie ein anderes.</translation>
    </message>
    <message>
        <source>Expected the command &apos;scan&apos;.</source>
        <translation>Erwartet wurde der Befehl „scan“.</translation>
    </message>
    <message>
        <source>Unknown sort order &apos;%1&apos;.</source>
        <translation>Unbekannte Sortierung „%1“.</translation>
    </message>
    <message>
        <source>No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY.</source>
        <translation>Kein Bibliotheksordner kann gelesen werden. Gib --library DIR an oder setze REELKEEP_LIBRARY.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Choose the Folder With Your Videos</source>
        <translation>Wähle den Ordner mit deinen Videos</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>The file “%1” could not be opened. Check that its folder exists and that you may write there.</source>
        <translation>Die Datei „%1“ konnte nicht geöffnet werden. Prüfe, ob ihr Ordner existiert und du dort schreiben darfst.</translation>
    </message>
    <message>
        <source>The file “%1” is damaged. Move it elsewhere and Reelkeep will start a new one the next time it opens.</source>
        <translation>Die Datei „%1“ ist beschädigt. Verschiebe sie an einen anderen Ort, dann legt Reelkeep beim nächsten Start eine neue an.</translation>
    </message>
    <message>
        <source>The file “%1” is damaged; it was kept as “%2”. Reelkeep will start a new one the next time it opens.</source>
        <translation>Die Datei „%1“ ist beschädigt; sie wurde als „%2“ aufbewahrt. Reelkeep legt beim nächsten Start eine neue an.</translation>
    </message>
    <message>
        <source>The file “%1” was written by a newer version of Reelkeep. Use that version, or move the file elsewhere to start a new one.</source>
        <translation>Die Datei „%1“ wurde von einer neueren Version von Reelkeep geschrieben. Verwende diese Version oder verschiebe die Datei, um eine neue anzulegen.</translation>
    </message>
    <message>
        <source>The file “%1” does not belong to Reelkeep; it was left as it is. Move it elsewhere to let Reelkeep start a new one.</source>
        <translation>Die Datei „%1“ gehört nicht zu Reelkeep; sie blieb unverändert. Verschiebe sie, damit Reelkeep eine neue anlegen kann.</translation>
    </message>
    <message>
        <source>The file “%1” can only be read, so nothing was changed. Check its permissions.</source>
        <translation>Die Datei „%1“ kann nur gelesen werden, daher wurde nichts geändert. Prüfe ihre Zugriffsrechte.</translation>
    </message>
    <message>
        <source>A video could not be recorded in “%1”; nothing was changed.</source>
        <translation>Ein Video konnte nicht in „%1“ vermerkt werden; es wurde nichts geändert.</translation>
    </message>
    <message>
        <source>Could not save to “%1”; nothing was changed. Check that the disk has free space.</source>
        <translation>„%1“ konnte nicht gesichert werden; es wurde nichts geändert. Prüfe, ob der Datenträger freien Platz hat.</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Scan index: %1</source>
        <translation>Suchindex: %1</translation>
    </message>
    <message>
        <source>Thumbnails: %1</source>
        <translation>Vorschaubilder: %1</translation>
    </message>
    <message>
        <source>Scan your video folders and print their videos.</source>
        <translation>Deine Videoordner durchsuchen und ihre Videos ausgeben.</translation>
    </message>
    <message>
        <source>Lists every video in your video folders, biggest first.

Exit codes: 0 done, 2 usage error, 3 no readable library, 4 the scan failed, 5 the list could not be written.</source>
        <translation>Listet jedes Video in deinen Videoordnern auf, das größte zuerst.

Rückgabewerte: 0 fertig, 2 falscher Aufruf, 3 keine lesbare Bibliothek, 4 das Durchsuchen schlug fehl, 5 die Liste konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Sort order: %1. Default: size (biggest first).</source>
        <translation>Sortierung: %1. Vorgabe: size (das größte zuerst).</translation>
    </message>
    <message>
        <source>Only videos of at least SIZE: none, 100mb, 500mb, 1gb, 2gb, or an amount such as 300MB or 1.5GB (1 GB = 1,000,000,000 bytes; GiB for 1024³).</source>
        <translation>Nur Videos ab SIZE: none, 100mb, 500mb, 1gb, 2gb oder eine Menge wie 300MB oder 1.5GB (1 GB = 1.000.000.000 Byte; GiB für 1024³).</translation>
    </message>
    <message>
        <source>Scan a simulated library of COUNT videos (0 to 1000000).</source>
        <translation>Eine simulierte Bibliothek aus COUNT Videos durchsuchen (0 bis 1000000).</translation>
    </message>
    <message>
        <source>Unknown size &apos;%1&apos;.</source>
        <translation>Unbekannte Größe „%1“.</translation>
    </message>
    <message>
        <source>--demo takes a count of videos from 0 to 1000000.</source>
        <translation>--demo erwartet eine Anzahl von Videos von 0 bis 1000000.</translation>
    </message>
    <message>
        <source>The list could not be written to standard output: %1.</source>
        <translation>Die Liste konnte nicht auf die Standardausgabe geschrieben werden: %1.</translation>
    </message>
    <message>
        <source>“%1” was replaced by another file during the move, and that file could not be put back; it is in the Trash as “%2”.</source>
        <translation>„%1“ wurde während des Verschiebens durch eine andere Datei ersetzt, und diese Datei konnte nicht zurückgelegt werden; sie liegt als „%2“ im Papierkorb.</translation>
    </message>
    <message>
        <source>--library was given an empty folder name.</source>
        <translation>--library wurde ein leerer Ordnername übergeben.</translation>
    </message>
    <message>
        <source>Print JSON indented, one member a line (implies --json).</source>
        <translation>JSON eingerückt ausgeben, ein Eintrag pro Zeile (schließt --json ein).</translation>
    </message>
    <message>
        <source>Reelkeep needs this file to know your favorites: make sure it is a regular file on a disk with free space and that no other program holds it, then scan again.</source>
        <translation>Reelkeep braucht diese Datei, um deine Favoriten zu kennen: Stelle sicher, dass sie eine normale Datei auf einem Datenträger mit freiem Platz ist und kein anderes Programm sie belegt, und durchsuche dann erneut.</translation>
    </message>
    <message>
        <source>Stop checking copies</source>
        <translation>Prüfen der Kopien anhalten</translation>
    </message>
    <message>
        <source>Identical copies</source>
        <translation>Identische Kopien</translation>
    </message>
    <message>
        <source>Checking copies… Only files with the same bytes count as copies.</source>
        <translation>Kopien werden geprüft … Nur Dateien mit denselben Bytes zählen als Kopien.</translation>
    </message>
    <message>
        <source>Keeping the favorite or earliest copy of each set of identical copies frees the space shown once the Trash is emptied.</source>
        <translation>Wer aus jeder Gruppe identischer Kopien den Favoriten oder die früheste Kopie behält, gibt den gezeigten Platz frei, sobald der Papierkorb geleert ist.</translation>
    </message>
    <message>
        <source>Copy ×</source>
        <translation>Kopie ×</translation>
    </message>
    <message>
        <source>Same size ×</source>
        <translation>Gleiche Größe ×</translation>
    </message>
    <message>
        <source>Kept</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Hard-linked</source>
        <translation>Hart verlinkt</translation>
    </message>
    <message>
        <source>Shared data</source>
        <translation>Geteilte Daten</translation>
    </message>
    <message>
        <source>Checking copies…</source>
        <translation>Kopien werden geprüft …</translation>
    </message>
    <message>
        <source>Checking copies stopped: the sets verified so far stand.</source>
        <translation>Prüfen der Kopien angehalten: Die bisher bestätigten Gruppen gelten.</translation>
    </message>
    <message>
        <source>Checking copies… %1 of %2</source>
        <translation>Kopien werden geprüft … %1 von %2</translation>
    </message>
    <message>
        <source>Checking copies… Extra copies will be selected when the check is done.</source>
        <translation>Kopien werden geprüft … Überzählige Kopien werden ausgewählt, wenn die Prüfung fertig ist.</translation>
    </message>
    <message>
        <source>Extra copies selected among those verified so far: %1.</source>
        <translation>Überzählige Kopien unter den bisher bestätigten ausgewählt: %1.</translation>
    </message>
    <message>
        <source>Extra copies selected: %1.</source>
        <translation>Überzählige Kopien ausgewählt: %1.</translation>
    </message>
    <message>
        <source>Try &apos;reelkeep duplicates --help&apos;.</source>
        <translation>Siehe „reelkeep duplicates --help“.</translation>
    </message>
    <message>
        <source>Find identical copies.</source>
        <translation>Identische Kopien finden.</translation>
    </message>
    <message>
        <source>Print JSON.</source>
        <translation>JSON ausgeben.</translation>
    </message>
    <message>
        <source>List same-size groups without reading any video.</source>
        <translation>Gruppen gleicher Größe auflisten, ohne ein Video zu lesen.</translation>
    </message>
    <message>
        <source>Move every extra copy to the Trash, keeping one of each set.</source>
        <translation>Jede überzählige Kopie in den Papierkorb verschieben, eine aus jeder Gruppe bleibt.</translation>
    </message>
    <message>
        <source>Do not ask before moving.</source>
        <translation>Vor dem Verschieben nicht fragen.</translation>
    </message>
    <message>
        <source>Print what would move; move nothing.</source>
        <translation>Ausgeben, was verschoben würde; nichts verschieben.</translation>
    </message>
    <message>
        <source>Expected the command &apos;duplicates&apos;.</source>
        <translation>Erwartet wurde der Befehl „duplicates“.</translation>
    </message>
    <message>
        <source>--trash-extra-copies moves only verified copies; drop --same-size-only.</source>
        <translation>--trash-extra-copies verschiebt nur bestätigte Kopien; lass --same-size-only weg.</translation>
    </message>
    <message>
        <source>not verified: </source>
        <translation>nicht bestätigt: </translation>
    </message>
    <message>
        <source>Not moving anything without --yes when not on a terminal.</source>
        <translation>Ohne --yes wird außerhalb eines Terminals nichts verschoben.</translation>
    </message>
    <message>
        <source>Nothing moved.</source>
        <translation>Nichts verschoben.</translation>
    </message>
    <message>
        <source>moved: </source>
        <translation>verschoben: </translation>
    </message>
    <message>
        <source>the Trash</source>
        <translation>der Papierkorb</translation>
    </message>
    <message>
        <source>not moved (changed since it was checked, or it could not be moved): </source>
        <translation>nicht verschoben (seit der Prüfung geändert, oder es konnte nicht verschoben werden): </translation>
    </message>
    <message>
        <source>Could not put “%1” back from the Trash: %2.</source>
        <translation>„%1“ konnte nicht aus dem Papierkorb zurückgelegt werden: %2.</translation>
    </message>
    <message>
        <source>“%1” could not be put back: another file now has its name. It stays in the Trash.</source>
        <translation>„%1“ konnte nicht zurückgelegt werden: Eine andere Datei trägt jetzt ihren Namen. Sie bleibt im Papierkorb.</translation>
    </message>
    <message>
        <source>“%1” could not be put back: its copy in the Trash was changed, restored or removed meanwhile. Nothing was done to it.</source>
        <translation>„%1“ konnte nicht zurückgelegt werden: Ihre Kopie im Papierkorb wurde inzwischen geändert, wiederhergestellt oder entfernt. Es wurde nichts damit gemacht.</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Available</source>
        <translation>Verfügbar</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>Fehlt</translation>
    </message>
    <message>
        <source>Cannot be read</source>
        <translation>Nicht lesbar</translation>
    </message>
    <message>
        <source>Not mounted</source>
        <translation>Nicht eingehängt</translation>
    </message>
    <message>
        <source>Library Folders</source>
        <translation>Bibliotheksordner</translation>
    </message>
    <message>
        <source>Reelkeep lists the videos in these folders and their subfolders.</source>
        <translation>Reelkeep listet die Videos in diesen Ordnern und ihren Unterordnern auf.</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Save and Rescan</source>
        <translation>Sichern und neu durchsuchen</translation>
    </message>
    <message>
        <source>Reelkeep was started with %1, so it reads these folders for this run and the list cannot be changed here. Start it without %1 to use and change your own list.</source>
        <translation>Reelkeep wurde mit %1 gestartet, liest also bei diesem Lauf diese Ordner, und die Liste kann hier nicht geändert werden. Starte es ohne %1, um deine eigene Liste zu verwenden und zu ändern.</translation>
    </message>
    <message>
        <source>These are your standard video folders. Add or remove folders to choose your own.</source>
        <translation>Das sind deine Standard-Videoordner. Füge Ordner hinzu oder entferne welche, um eigene zu wählen.</translation>
    </message>
    <message>
        <source>No folder is chosen: add the folders that hold your videos.</source>
        <translation>Kein Ordner gewählt: Füge die Ordner hinzu, in denen deine Videos liegen.</translation>
    </message>
    <message numerus="yes">
        <source>and %Ln more video(s)</source>
        <translation>
            <numerusform>und %Ln weiteres Video</numerusform>
            <numerusform>und %Ln weitere Videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Total: %1</source>
        <translation>Gesamt: %1</translation>
    </message>
    <message>
        <source>Library Folders…</source>
        <translation>Bibliotheksordner …</translation>
    </message>
    <message>
        <source>“%1” (%2)</source>
        <translation>„%1“ (%2)</translation>
    </message>
    <message numerus="yes">
        <source>%Ln library folder(s) cannot be read, so their videos are not listed: %1</source>
        <translation>
            <numerusform>%Ln Bibliotheksordner kann nicht gelesen werden, seine Videos fehlen daher: %1</numerusform>
            <numerusform>%Ln Bibliotheksordner können nicht gelesen werden, ihre Videos fehlen daher: %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Show Trash</source>
        <translation>Papierkorb zeigen</translation>
    </message>
    <message>
        <source>Undo Move to Trash</source>
        <translation>Verschieben in den Papierkorb rückgängig machen</translation>
    </message>
    <message>
        <source>Copy Paths</source>
        <translation>Pfade kopieren</translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation>Pfad kopieren</translation>
    </message>
    <message numerus="yes">
        <source>Putting back %Ln video(s) from the Trash…</source>
        <translation>
            <numerusform>%Ln Video wird aus dem Papierkorb zurückgelegt …</numerusform>
            <numerusform>%Ln Videos werden aus dem Papierkorb zurückgelegt …</numerusform>
        </translation>
    </message>
    <message>
        <source>Nothing was put back from the Trash.</source>
        <translation>Nichts wurde aus dem Papierkorb zurückgelegt.</translation>
    </message>
    <message numerus="yes">
        <source>Put back %Ln video(s) from the Trash.</source>
        <translation>
            <numerusform>%Ln Video aus dem Papierkorb zurückgelegt.</numerusform>
            <numerusform>%Ln Videos aus dem Papierkorb zurückgelegt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Copied %Ln path(s).</source>
        <translation>
            <numerusform>%Ln Pfad kopiert.</numerusform>
            <numerusform>%Ln Pfade kopiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>The library folder “%1” does not exist; it was skipped.</source>
        <translation>Der Bibliotheksordner „%1“ existiert nicht; er wurde übersprungen.</translation>
    </message>
    <message>
        <source>The library folder “%1” cannot be read; it was skipped.</source>
        <translation>Der Bibliotheksordner „%1“ kann nicht gelesen werden; er wurde übersprungen.</translation>
    </message>
    <message>
        <source>The library folder “%1” is on a drive that is not mounted; it was skipped.</source>
        <translation>Der Bibliotheksordner „%1“ liegt auf einem Laufwerk, das nicht eingehängt ist; er wurde übersprungen.</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation>&amp;Suchen</translation>
    </message>
    <message>
        <source>&amp;Appearance</source>
        <translation>&amp;Erscheinungsbild</translation>
    </message>
    <message>
        <source>&amp;Video</source>
        <translation>&amp;Video</translation>
    </message>
    <message>
        <source>Exporting “%1”…
%2 of %3</source>
        <translation>„%1“ wird exportiert …
%2 von %3</translation>
    </message>
    <message>
        <source>Copy exported</source>
        <translation>Kopie exportiert</translation>
    </message>
    <message>
        <source>The copy is “%1” in %2.</source>
        <translation>Die Kopie ist „%1“ in %2.</translation>
    </message>
    <message>
        <source>The %1 copies are in %2.</source>
        <translation>Die %1 Kopien sind in %2.</translation>
    </message>
    <message>
        <source>Counting videos… %1 found</source>
        <translation>Videos werden gezählt … %1 gefunden</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>Export cancelled.</source>
        <translation>Export abgebrochen.</translation>
    </message>
    <message>
        <source>Exported a copy to %1.</source>
        <translation>Eine Kopie nach %1 exportiert.</translation>
    </message>
    <message>
        <source>Exported %1 copies to %2.</source>
        <translation>%1 Kopien nach %2 exportiert.</translation>
    </message>
    <message>
        <source>Identical copies: %1 in %2; reclaimable: %3</source>
        <translation>Identische Kopien: %1 in %2; freizugeben: %3</translation>
    </message>
    <message numerus="yes">
        <source>%Ln set(s)</source>
        <translation>
            <numerusform>%Ln Gruppe</numerusform>
            <numerusform>%Ln Gruppen</numerusform>
        </translation>
    </message>
    <message>
        <source>Same size: %1; at most %2 reclaimable if every one is a copy</source>
        <translation>Gleiche Größe: %1; höchstens %2 freizugeben, wenn jedes eine Kopie ist</translation>
    </message>
    <message>
        <source>Extra copies to move to the Trash: %1 (frees %2 once the Trash is emptied)</source>
        <translation>Überzählige Kopien für den Papierkorb: %1 (gibt %2 frei, sobald der Papierkorb geleert ist)</translation>
    </message>
    <message numerus="yes">
        <source>Move %Ln file(s) to the Trash?</source>
        <translation>
            <numerusform>%Ln Datei in den Papierkorb verschieben?</numerusform>
            <numerusform>%Ln Dateien in den Papierkorb verschieben?</numerusform>
        </translation>
    </message>
    <message>
        <source>Not answering</source>
        <translation>Antwortet nicht</translation>
    </message>
    <message>
        <source>Reelkeep is showing a generated sample library. Add the folders that hold your videos.</source>
        <translation>Reelkeep zeigt eine erzeugte Beispielbibliothek. Fügen Sie die Ordner hinzu, in denen Ihre Videos liegen.</translation>
    </message>
    <message>
        <source>This is a generated sample library, not your own videos. Choose the folders that hold your videos to see them here.</source>
        <translation>Dies ist eine erzeugte Beispielbibliothek, nicht Ihre eigenen Videos. Wählen Sie die Ordner, in denen Ihre Videos liegen, um sie hier zu sehen.</translation>
    </message>
    <message>
        <source>The library folder “%1” is not answering; it was skipped.</source>
        <translation>Der Bibliotheksordner „%1“ antwortet nicht; er wurde übersprungen.</translation>
    </message>
    <message>
        <source>Updated from your video folders: %1 added, %2 changed, %3 removed.</source>
        <translation>Aus Ihren Videoordnern übernommen: %1 hinzugekommen, %2 geändert, %3 entfernt.</translation>
    </message>
    <message>
        <source>The selected videos could not be moved to the Trash.</source>
        <translation>Die ausgewählten Videos konnten nicht in den Papierkorb verschoben werden.</translation>
    </message>
    <message>
        <source>The library folders could not be saved. Reelkeep uses them until it quits.</source>
        <translation>Die Bibliotheksordner konnten nicht gesichert werden. Reelkeep verwendet sie, bis es beendet wird.</translation>
    </message>
    <message>
        <source>Export Copies</source>
        <translation>Kopien exportieren</translation>
    </message>
    <message>
        <source>There is no free file name for “%1” in that folder.</source>
        <translation>In diesem Ordner gibt es keinen freien Dateinamen für „%1“.</translation>
    </message>
    <message>
        <source>Print the scan timing report and the time of each phase to stderr.</source>
        <translation>Den Zeitbericht des Durchsuchens und die Dauer jeder Phase auf stderr ausgeben.</translation>
    </message>
    <message>
        <source>Comparing videos…</source>
        <translation>Videos werden verglichen …</translation>
    </message>
    <message>
        <source>Comparing videos stopped.</source>
        <translation>Vergleich der Videos angehalten.</translation>
    </message>
    <message numerus="yes">
        <source>Videos compared; %Ln could not be decoded and were left out.</source>
        <translation>
            <numerusform>Videos verglichen; %Ln konnte nicht dekodiert werden und wurde ausgelassen.</numerusform>
            <numerusform>Videos verglichen; %Ln konnten nicht dekodiert werden und wurden ausgelassen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Comparing videos… %1 of %2</source>
        <translation>Videos werden verglichen … %1 von %2</translation>
    </message>
    <message>
        <source>Comparing videos… Lesser versions can be selected when the comparison is done.</source>
        <translation>Videos werden verglichen … Schwächere Fassungen können ausgewählt werden, wenn der Vergleich fertig ist.</translation>
    </message>
    <message>
        <source>Check each set, then choose Select Lesser Versions again.</source>
        <translation>Prüfe jede Gruppe und wähle dann erneut „Schwächere Fassungen auswählen“.</translation>
    </message>
    <message>
        <source>Lesser versions selected: %1.</source>
        <translation>Schwächere Fassungen ausgewählt: %1.</translation>
    </message>
    <message>
        <source>%1 bit/s</source>
        <translation>%1 bit/s</translation>
    </message>
    <message>
        <source>%1 kbit/s</source>
        <translation>%1 kbit/s</translation>
    </message>
    <message>
        <source>%1 Mbit/s</source>
        <translation>%1 Mbit/s</translation>
    </message>
    <message>
        <source>Similar ×%1; reclaimable: %2</source>
        <translation>Ähnlich ×%1; freizugeben: %2</translation>
    </message>
    <message>
        <source>Near copies: %1 in %2; reclaimable: %3</source>
        <translation>Beinahe-Kopien: %1 in %2; freizugeben: %3</translation>
    </message>
    <message>
        <source>Finds identical copies among your videos: same size, then the same bytes; with --similar, near copies: the same video re-encoded, resized or re-wrapped.

Exit codes: 0 done, 1 declined, 2 usage error, 3 no readable library, 4 the scan failed, 5 standard output could not be written, 6 not every selected copy was moved.</source>
        <translation>Findet identische Kopien unter deinen Videos: gleiche Größe, dann dieselben Bytes; mit --similar Beinahe-Kopien: dasselbe Video neu kodiert, verkleinert oder neu verpackt.

Rückgabewerte: 0 fertig, 1 abgelehnt, 2 falscher Aufruf, 3 keine lesbare Bibliothek, 4 das Durchsuchen schlug fehl, 5 die Standardausgabe konnte nicht geschrieben werden, 6 nicht jede ausgewählte Kopie wurde verschoben.</translation>
    </message>
    <message>
        <source>List near copies, compared by what they show, and the best version of each set.</source>
        <translation>Beinahe-Kopien auflisten, verglichen nach dem, was sie zeigen, und die beste Fassung jeder Gruppe.</translation>
    </message>
    <message>
        <source>With --similar: move every lesser version to the Trash, never a favorite.</source>
        <translation>Mit --similar: jede schwächere Fassung in den Papierkorb verschieben, nie einen Favoriten.</translation>
    </message>
    <message>
        <source>--trash-lesser-versions goes with --similar.</source>
        <translation>--trash-lesser-versions gehört zu --similar.</translation>
    </message>
    <message>
        <source>--similar compares what videos show; drop --same-size-only.</source>
        <translation>--similar vergleicht, was Videos zeigen; lass --same-size-only weg.</translation>
    </message>
    <message>
        <source>--trash-extra-copies moves identical copies; with --similar, use --trash-lesser-versions.</source>
        <translation>--trash-extra-copies verschiebt identische Kopien; mit --similar nimm --trash-lesser-versions.</translation>
    </message>
    <message>
        <source>--yes and --dry-run go with --trash-extra-copies or --trash-lesser-versions.</source>
        <translation>--yes und --dry-run gehören zu --trash-extra-copies oder --trash-lesser-versions.</translation>
    </message>
    <message>
        <source>could not be compared: </source>
        <translation>nicht vergleichbar: </translation>
    </message>
    <message>
        <source>Comparing videos stopped: not every video was compared.</source>
        <translation>Vergleich der Videos abgebrochen: nicht jedes Video wurde verglichen.</translation>
    </message>
    <message>
        <source>No video could be compared.</source>
        <translation>Kein Video konnte verglichen werden.</translation>
    </message>
    <message>
        <source>Lesser versions to move to the Trash: %1 (frees %2 once the Trash is emptied)</source>
        <translation>Schwächere Fassungen für den Papierkorb: %1 (gibt %2 frei, sobald der Papierkorb geleert ist)</translation>
    </message>
    <message>
        <source>Best version</source>
        <translation>Beste Fassung</translation>
    </message>
    <message>
        <source>Compare Similar Videos</source>
        <translation>Ähnliche Videos vergleichen</translation>
    </message>
    <message>
        <source>Loading frames…</source>
        <translation>Bilder werden geladen …</translation>
    </message>
    <message>
        <source>The frames could not be read: %1</source>
        <translation>Die Bilder konnten nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Kept: %1</source>
        <translation>Bleibt: %1</translation>
    </message>
    <message>
        <source>No version of this set is kept.</source>
        <translation>Keine Fassung dieser Gruppe bleibt.</translation>
    </message>
    <message>
        <source>Goes: %1</source>
        <translation>In den Papierkorb: %1</translation>
    </message>
    <message numerus="yes">
        <source>and %Ln more set(s) of similar videos</source>
        <translation>
            <numerusform>und %Ln weitere Gruppe ähnlicher Videos</numerusform>
            <numerusform>und %Ln weitere Gruppen ähnlicher Videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Similar videos:</source>
        <translation>Ähnliche Videos:</translation>
    </message>
    <message>
        <source>Similar videos</source>
        <translation>Ähnliche Videos</translation>
    </message>
    <message>
        <source>Sets: %1. The videos of a set show the same thing: re-encoded, resized or re-wrapped.</source>
        <translation>Gruppen: %1. Die Videos einer Gruppe zeigen dasselbe: neu kodiert, verkleinert oder neu verpackt.</translation>
    </message>
    <message>
        <source>Select Lesser Versions</source>
        <translation>Schwächere Fassungen auswählen</translation>
    </message>
    <message>
        <source>Comparing videos… Near copies show the same pictures at the same moments.</source>
        <translation>Videos werden verglichen … Beinahe-Kopien zeigen zu denselben Zeitpunkten dieselben Bilder.</translation>
    </message>
    <message>
        <source>Keeping the best version of each set (highest resolution, then bitrate) frees the space shown once the Trash is emptied.</source>
        <translation>Behältst du von jeder Gruppe die beste Fassung (höchste Auflösung, dann Bitrate), wird der angezeigte Platz frei, sobald der Papierkorb geleert ist.</translation>
    </message>
    <message>
        <source>Similar ×</source>
        <translation>Ähnlich ×</translation>
    </message>
    <message>
        <source>Compare…</source>
        <translation>Vergleichen …</translation>
    </message>
</context>
</TS>
