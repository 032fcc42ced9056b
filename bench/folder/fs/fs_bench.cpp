// fs_bench.cpp: the walk against `find` over the same synthetic tree, the
// video-name rule, and a checked export. Speed targets live here, not in tests.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/folder/fs/export.h"
#include "platform/folder/fs/walk.h"

namespace reelkeep::fs {
namespace {

// 100 folders of 100 files, four in five of them videos: a small real library.
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

const QByteArray& syntheticLibrary() {
    static QTemporaryDir dir;
    static const QByteArray root = [] {
        const QByteArray path = QFile::encodeName(dir.path());
        for (int folder = 0; folder < kFolders; ++folder) {
            const QByteArray folderPath = path + "/trip " + QByteArray::number(folder);
            ::mkdir(folderPath.constData(), 0755);
            for (int file = 0; file < kFilesPerFolder; ++file) {
                const QByteArray name =
                    "/clip " + QByteArray::number(file) + (file % 5 == 0 ? ".jpg" : ".mp4");
                const int fd = ::open((folderPath + name).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd >= 0 && ::ftruncate(fd, 4096 + file) == 0) ::close(fd);
            }
        }
        return path;
    }();
    return root;
}

void walkLibrary(benchmark::State& state) {
    const QByteArray& root = syntheticLibrary();
    const VideoNamePredicate isVideo = defaultVideoNamePredicate();
    for (auto _ : state) {
        const WalkResult result = walkRoots({root}, isVideo);
        benchmark::DoNotOptimize(result.entries.data());
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}
BENCHMARK(walkLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline the rescan is held to: find listing every size.
void findBaseline(benchmark::State& state) {
    const QString root = QFile::decodeName(syntheticLibrary());
    for (auto _ : state) {
        QProcess find;
        find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f"),
                                            QStringLiteral("-printf"), QStringLiteral("%s\\n")});
        if (!find.waitForFinished(60'000)) state.SkipWithError("find did not finish");
        benchmark::DoNotOptimize(find.readAllStandardOutput().size());
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}
BENCHMARK(findBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void videoNameRule(benchmark::State& state) {
    const VideoNamePredicate isVideo = defaultVideoNamePredicate();
    const QByteArray names[] = {"a.mp4", "b.MOV", "c.jpg", "d.mkv", "e.txt", "f.m4v"};
    for (auto _ : state)
        for (const QByteArray& name : names) benchmark::DoNotOptimize(isVideo(name));
    state.SetItemsProcessed(state.iterations() * std::size(names));
}
BENCHMARK(videoNameRule);

void exportCopy(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray sourcePath = base + "/source.mp4";
    const int source = ::open(sourcePath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    const QByteArray chunk(1 << 20, 'v');
    for (int i = 0; i < state.range(0); ++i)
        if (::write(source, chunk.constData(), chunk.size()) != chunk.size())
            state.SkipWithError("write failed");
    const int folder = ::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int round = 0;
    for (auto _ : state) {
        const QByteArray name = "copy " + QByteArray::number(round++) + ".mp4";
        if (!exportFile(source, sourcePath, folder, base, name).ok()) state.SkipWithError("export failed");
        state.PauseTiming();
        ::unlinkat(folder, name.constData(), 0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * chunk.size());
    ::close(folder);
    ::close(source);
}
BENCHMARK(exportCopy)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace reelkeep::fs

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
