// root_state_test.cpp: a library folder is named by what the user can do about
// it: available, missing, unreadable, or on a drive that is not mounted.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "platform/folder/fs/root_state.h"
#include "support/qt_printers.h"

namespace reelkeep::fs {
namespace {

struct Probe {
    int error = 0;
    bool isFolder = true;
};

MountInputs inputsWith(std::map<QByteArray, Probe> probes) {
    MountInputs inputs;
    inputs.mountedPoints = {"/", "/home", "/media/me/Photos"};
    inputs.fstabPoints = {"/", "/home", "/srv/archive"};
    inputs.probe = [probes = std::move(probes)](const QByteArray& path, bool* isFolder) {
        const auto found = probes.find(path);
        if (found == probes.end()) return ENOENT;
        *isFolder = found->second.isFolder;
        return found->second.error;
    };
    return inputs;
}

TEST(RootState, NamesWhatTheUserCanDoAboutAFolder) {
    const MountInputs inputs = inputsWith({
        {"/home/me/Videos", {}},
        {"/home/me/locked", {EACCES, true}},
        {"/home/me/file.mp4", {0, false}},
        {"/srv/archive/films", {}},  // an empty stand-in folder where the drive belongs
        {"/mnt/plain", {}},          // a plain folder under /mnt is just a folder
        {"/media/me/Photos/clips", {}},
    });
    const std::pair<QByteArray, RootState> cases[] = {
        {"/home/me/Videos", RootState::available},
        {"/home/me/Videos/", RootState::available},
        {"/home/me/gone", RootState::missing},
        {"/home/me/locked", RootState::unreadable},
        {"/home/me/file.mp4", RootState::unreadable},
        {"/srv/archive/films", RootState::notMounted},
        {"/run/media/me/Disk/Videos", RootState::notMounted},
        {"/media/me/Stick/Videos", RootState::notMounted},
        {"/mnt/usb/Videos", RootState::notMounted},
        {"/mnt/plain", RootState::available},
        {"/media/me/Photos/clips", RootState::available},
        {"/media/me/Photos/gone", RootState::missing},  // the drive is there; the folder is not
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(rootState(path, inputs), expected) << path.toStdString();
}

}  // namespace
}  // namespace reelkeep::fs
