<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>reelkeep</name>
    <message>
        <source>No library folder can be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This video&apos;s file could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This video&apos;s file was moved, renamed or changed since the scan.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file has no video that can be played.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The operation was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zero KB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 byte</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All sizes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>100 MB and up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>500 MB and up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 GB and up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2 GB and up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The video is no longer in the library.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is not a file name that can be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The thumbnail took too long to make.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This video has no picture to show.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not open “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not read the details of “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not read the folder “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not read “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not create “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not write “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not save “%1” to the disk: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not give “%1” its name: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove the temporary file “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not create the folder “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not move “%1” to the trash: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not watch the folder “%1” for changes: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not use “%1”: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” was changed, moved or deleted since the scan; nothing was done to it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is not a regular file; nothing was done to it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” already exists; it was not replaced.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is the file being copied; it was not changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is on a disk without a usable trash folder; it was left where it is.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No safe trash folder was found for “%1”; it was left where it is.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copying “%1” stopped after %2 of %3 bytes; the incomplete copy was removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Work on “%1” was stopped before it was done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Light</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dark</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s)</source>
        <translation>
            <numerusform>%Ln video</numerusform>
            <numerusform>%Ln videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Export Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your video folders changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rescan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deselect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning your video folders…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search by filename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Reelkeep</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop scanning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rescan your video folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No library folder can be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep could not open any of your video folders. They may be on a drive that is not connected, or not readable by you. Choose the folders that hold your videos.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose Folders…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No videos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your video folders have not been scanned yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No video was found in your video folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>No video was found in the folder(s) %1.</source>
        <translation>
            <numerusform>No video was found in the folder %1.</numerusform>
            <numerusform>No video was found in the folders %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No matches</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No video matches the current search and size filter.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear filters</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) selected</source>
        <translation>
            <numerusform>%Ln video selected</numerusform>
            <numerusform>%Ln videos selected</numerusform>
        </translation>
    </message>
    <message>
        <source>Frees %1 once the Trash is emptied</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) with unknown size</source>
        <translation>
            <numerusform>%Ln video with unknown size</numerusform>
            <numerusform>%Ln videos with unknown size</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Move %Ln video(s) to the Trash?</source>
        <translation>
            <numerusform>Move %Ln video to the Trash?</numerusform>
            <numerusform>Move %Ln videos to the Trash?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>You can restore them from the Trash. Their space is freed when the Trash is emptied.</source>
        <translation>
            <numerusform>You can restore it from the Trash. Its space is freed when the Trash is emptied.</numerusform>
            <numerusform>You can restore them from the Trash. Their space is freed when the Trash is emptied.</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Something went wrong</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lists every video in your folders, biggest first, so you can free disk space.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Released under the MIT licence. Reelkeep comes with no warranty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Library folders:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>none can be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Favorites: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings: %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading preview…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Position</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The video took too long to load.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This video cannot be played.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unmute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Library</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Videos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Videos whose files could not be read have no known size.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Counting videos…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimum size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>By date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Same size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Extra Copies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All dates</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Screen recording</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop Scanning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Names</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add to Favorites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove from Favorites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Copy…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Copies…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Favorite</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Created</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking your video folders…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No videos in your video folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Loaded %1 of %Ln video(s).</source>
        <translation>
            <numerusform>Loaded %1 of %Ln video.</numerusform>
            <numerusform>Loaded %1 of %Ln videos.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Scan cancelled at %1 of %Ln video(s).</source>
        <translation>
            <numerusform>Scan cancelled at %1 of %Ln video.</numerusform>
            <numerusform>Scan cancelled at %1 of %Ln videos.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s), size known for %1.</source>
        <translation>
            <numerusform>%Ln video, size known for %1.</numerusform>
            <numerusform>%Ln videos, size known for %1.</numerusform>
        </translation>
    </message>
    <message>
        <source>Scan cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Moving %Ln video(s) to the Trash…</source>
        <translation>
            <numerusform>Moving %Ln video to the Trash…</numerusform>
            <numerusform>Moving %Ln videos to the Trash…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Moved %Ln video(s) to the Trash.</source>
        <translation>
            <numerusform>Moved %Ln video to the Trash.</numerusform>
            <numerusform>Moved %Ln videos to the Trash.</numerusform>
        </translation>
    </message>
    <message>
        <source>Moving to the Trash failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Moving to the Trash was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Adding %Ln video(s) to Favorites…</source>
        <translation>
            <numerusform>Adding %Ln video to Favorites…</numerusform>
            <numerusform>Adding %Ln videos to Favorites…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Removing %Ln video(s) from Favorites…</source>
        <translation>
            <numerusform>Removing %Ln video from Favorites…</numerusform>
            <numerusform>Removing %Ln videos from Favorites…</numerusform>
        </translation>
    </message>
    <message>
        <source>Favorite update failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Added %Ln video(s) to Favorites.</source>
        <translation>
            <numerusform>Added %Ln video to Favorites.</numerusform>
            <numerusform>Added %Ln videos to Favorites.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Removed %Ln video(s) from Favorites.</source>
        <translation>
            <numerusform>Removed %Ln video from Favorites.</numerusform>
            <numerusform>Removed %Ln videos from Favorites.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Exporting %Ln video(s)…</source>
        <translation>
            <numerusform>Exporting %Ln video…</numerusform>
            <numerusform>Exporting %Ln videos…</numerusform>
        </translation>
    </message>
    <message>
        <source>Exporting %1 of %2…</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Exported %1 of %Ln video(s).</source>
        <translation>
            <numerusform>Exported %1 of %Ln video.</numerusform>
            <numerusform>Exported %1 of %Ln videos.</numerusform>
        </translation>
    </message>
    <message>
        <source>Copied %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Copied %Ln name(s).</source>
        <translation>
            <numerusform>Copied %Ln name.</numerusform>
            <numerusform>Copied %Ln names.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln video(s) no longer in your video folders.</source>
        <translation>
            <numerusform>%Ln video no longer in your video folders.</numerusform>
            <numerusform>%Ln videos no longer in your video folders.</numerusform>
        </translation>
    </message>
    <message>
        <source>Ready to scan your video folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try &apos;reelkeep scan --help&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A library folder (repeatable).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print JSON instead of a table.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Only videos that share their exact size with another.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expected the command &apos;scan&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown sort order &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the Folder With Your Videos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” could not be opened. Check that its folder exists and that you may write there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” is damaged. Move it elsewhere and Reelkeep will start a new one the next time it opens.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” is damaged; it was kept as “%2”. Reelkeep will start a new one the next time it opens.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” was written by a newer version of Reelkeep. Use that version, or move the file elsewhere to start a new one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” does not belong to Reelkeep; it was left as it is. Move it elsewhere to let Reelkeep start a new one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” can only be read, so nothing was changed. Check its permissions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A video could not be recorded in “%1”; nothing was changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not save to “%1”; nothing was changed. Check that the disk has free space.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan index: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thumbnails: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan your video folders and print their videos.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lists every video in your video folders, biggest first.

Exit codes: 0 done, 2 usage error, 3 no readable library, 4 the scan failed, 5 the list could not be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort order: %1. Default: size (biggest first).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Only videos of at least SIZE: none, 100mb, 500mb, 1gb, 2gb, or an amount such as 300MB or 1.5GB (1 GB = 1,000,000,000 bytes; GiB for 1024³).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scan a simulated library of COUNT videos (0 to 1000000).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown size &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--demo takes a count of videos from 0 to 1000000.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The list could not be written to standard output: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” was replaced by another file during the move, and that file could not be put back; it is in the Trash as “%2”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--library was given an empty folder name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print JSON indented, one member a line (implies --json).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep needs this file to know your favorites: make sure it is a regular file on a disk with free space and that no other program holds it, then scan again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop checking copies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identical copies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking copies… Only files with the same bytes count as copies.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keeping the favorite or earliest copy of each set of identical copies frees the space shown once the Trash is emptied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy ×</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Same size ×</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kept</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hard-linked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking copies…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking copies stopped: the sets verified so far stand.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking copies… %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking copies… Extra copies will be selected when the check is done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra copies selected among those verified so far: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra copies selected: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try &apos;reelkeep duplicates --help&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find identical copies.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print JSON.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List same-size groups without reading any video.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move every extra copy to the Trash, keeping one of each set.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do not ask before moving.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print what would move; move nothing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expected the command &apos;duplicates&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--trash-extra-copies moves only verified copies; drop --same-size-only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not verified: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not moving anything without --yes when not on a terminal.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing moved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>moved: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not moved (changed since it was checked, or it could not be moved): </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not put “%1” back from the Trash: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” could not be put back: another file now has its name. It stays in the Trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” could not be put back: its copy in the Trash was changed, restored or removed meanwhile. Nothing was done to it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Missing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not mounted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Library Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep lists the videos in these folders and their subfolders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>State</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save and Rescan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep was started with %1, so it reads these folders for this run and the list cannot be changed here. Start it without %1 to use and change your own list.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These are your standard video folders. Add or remove folders to choose your own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No folder is chosen: add the folders that hold your videos.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>and %Ln more video(s)</source>
        <translation>
            <numerusform>and %Ln more video</numerusform>
            <numerusform>and %Ln more videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Total: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Library Folders…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln library folder(s) cannot be read, so their videos are not listed: %1</source>
        <translation>
            <numerusform>%Ln library folder cannot be read, so their videos are not listed: %1</numerusform>
            <numerusform>%Ln library folders cannot be read, so their videos are not listed: %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Show Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Paths</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Putting back %Ln video(s) from the Trash…</source>
        <translation>
            <numerusform>Putting back %Ln video from the Trash…</numerusform>
            <numerusform>Putting back %Ln videos from the Trash…</numerusform>
        </translation>
    </message>
    <message>
        <source>Nothing was put back from the Trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Put back %Ln video(s) from the Trash.</source>
        <translation>
            <numerusform>Put back %Ln video from the Trash.</numerusform>
            <numerusform>Put back %Ln videos from the Trash.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Copied %Ln path(s).</source>
        <translation>
            <numerusform>Copied %Ln path.</numerusform>
            <numerusform>Copied %Ln paths.</numerusform>
        </translation>
    </message>
    <message>
        <source>The library folder “%1” does not exist; it was skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The library folder “%1” cannot be read; it was skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The library folder “%1” is on a drive that is not mounted; it was skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Find</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Appearance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Video</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exporting “%1”…
%2 of %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy exported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The copy is “%1” in %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The %1 copies are in %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Counting videos… %1 found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported a copy to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported %1 copies to %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identical copies: %1 in %2; reclaimable: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln set(s)</source>
        <translation>
            <numerusform>%Ln set</numerusform>
            <numerusform>%Ln sets</numerusform>
        </translation>
    </message>
    <message>
        <source>Same size: %1; at most %2 reclaimable if every one is a copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra copies to move to the Trash: %1 (frees %2 once the Trash is emptied)</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Move %Ln file(s) to the Trash?</source>
        <translation>
            <numerusform>Move %Ln file to the Trash?</numerusform>
            <numerusform>Move %Ln files to the Trash?</numerusform>
        </translation>
    </message>
    <message>
        <source>Not answering</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reelkeep is showing a generated sample library. Add the folders that hold your videos.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is a generated sample library, not your own videos. Choose the folders that hold your videos to see them here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The library folder “%1” is not answering; it was skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updated from your video folders: %1 added, %2 changed, %3 removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The selected videos could not be moved to the Trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The library folders could not be saved. Reelkeep uses them until it quits.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Copies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is no free file name for “%1” in that folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print the scan timing report and the time of each phase to stderr.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing videos…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing videos stopped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Videos compared; %Ln could not be decoded and were left out.</source>
        <translation>
            <numerusform>Videos compared; %Ln could not be decoded and was left out.</numerusform>
            <numerusform>Videos compared; %Ln could not be decoded and were left out.</numerusform>
        </translation>
    </message>
    <message>
        <source>Comparing videos… %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing videos… Lesser versions can be selected when the comparison is done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check each set, then choose Select Lesser Versions again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lesser versions selected: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 bit/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 kbit/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 Mbit/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Similar ×%1; reclaimable: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Near copies: %1 in %2; reclaimable: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finds identical copies among your videos: same size, then the same bytes; with --similar, near copies: the same video re-encoded, resized or re-wrapped.

Exit codes: 0 done, 1 declined, 2 usage error, 3 no readable library, 4 the scan failed, 5 standard output could not be written, 6 not every selected copy was moved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List near copies, compared by what they show, and the best version of each set.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With --similar: move every lesser version to the Trash, never a favorite.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--trash-lesser-versions goes with --similar.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--similar compares what videos show; drop --same-size-only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--trash-extra-copies moves identical copies; with --similar, use --trash-lesser-versions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--yes and --dry-run go with --trash-extra-copies or --trash-lesser-versions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>could not be compared: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing videos stopped: not every video was compared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No video could be compared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lesser versions to move to the Trash: %1 (frees %2 once the Trash is emptied)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Best version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare Similar Videos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading frames…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The frames could not be read: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kept: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No version of this set is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Goes: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>and %Ln more set(s) of similar videos</source>
        <translation>
            <numerusform>and %Ln more set of similar videos</numerusform>
            <numerusform>and %Ln more sets of similar videos</numerusform>
        </translation>
    </message>
    <message>
        <source>Similar videos:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Similar videos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sets: %1. The videos of a set show the same thing: re-encoded, resized or re-wrapped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Lesser Versions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comparing videos… Near copies show the same pictures at the same moments.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keeping the best version of each set (highest resolution, then bitrate) frees the space shown once the Trash is emptied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Similar ×</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compare…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
