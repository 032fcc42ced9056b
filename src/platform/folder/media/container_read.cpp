// container_read.cpp: header values, rotation and origin of one video.
#include "container_read.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "creation_date.h"
#include "screen_recording.h"

namespace reelkeep::media {

namespace {

const char* tagValue(const AVDictionary* tags, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
    return entry && entry->value ? entry->value : nullptr;
}

double lengthSeconds(const AVFormatContext* format, const AVStream* video) {
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return static_cast<double>(format->duration) / AV_TIME_BASE;
    if (video && video->duration != AV_NOPTS_VALUE && video->duration > 0)
        return static_cast<double>(video->duration) * av_q2d(video->time_base);
    return 0;
}

bool isMissingValue(const AVFormatContext* format, const AVStream* video) {
    if (!video) return true;
    if (video->codecpar->width <= 0 || video->codecpar->height <= 0) return true;
    return lengthSeconds(format, video) <= 0;
}

ContainerDateTags dateTags(const AVFormatContext* format, const AVStream* video) {
    ContainerDateTags tags;
    if (const char* text = tagValue(format->metadata, "com.apple.quicktime.creationdate"))
        tags.quickTimeCreationDate = text;
    const char* creationTime = tagValue(format->metadata, "creation_time");
    if ((!creationTime || !*creationTime) && video) creationTime = tagValue(video->metadata, "creation_time");
    if (creationTime) tags.creationTime = creationTime;
    return tags;
}

OriginEvidence originEvidence(const AVFormatContext* format, const AVStream* video,
                              const std::string& fileName) {
    OriginEvidence evidence{{}, fileName};
    static constexpr const char* kKeys[] = {"encoder", "handler_name", "software",
                                            "com.apple.quicktime.software", "title"};
    for (const AVDictionary* tags : {format->metadata, video ? video->metadata : nullptr})
        for (const char* key : kKeys)
            if (const char* text = tagValue(tags, key)) evidence.tagValues.emplace_back(text);
    return evidence;
}

}  // namespace

MediaResult<MediaInfo> readContainer(int fd, const std::string& fileName, const InputLimits& limits) {
    auto opened = FdInput::open(fd, limits);
    if (!opened) return opened.error();
    FdInput& input = *opened.value();
    AVFormatContext* format = input.format();

    if (isMissingValue(format, input.firstVideoStream())) input.findStreamInfo();
    if (input.cursor().timedOut) return MediaError(MediaErrorKind::timedOut, QStringLiteral("stream info"));
    if (format->nb_streams == 0) return MediaError(MediaErrorKind::damaged, QStringLiteral("no streams"));

    const AVStream* video = input.firstVideoStream();
    MediaInfo info;
    info.lengthSeconds = lengthSeconds(format, video);
    if (!std::isfinite(info.lengthSeconds) || info.lengthSeconds < 0) info.lengthSeconds = 0;
    if (video && video->codecpar->width > 0 && video->codecpar->height > 0) {
        const bool isQuarterTurned = quarterTurns(video) % 2 == 1;
        info.pixelWidth = isQuarterTurned ? video->codecpar->height : video->codecpar->width;
        info.pixelHeight = isQuarterTurned ? video->codecpar->width : video->codecpar->height;
        info.hasDecodableVideo = avcodec_find_decoder(video->codecpar->codec_id) != nullptr;
    }
    info.dateTags = dateTags(format, video);
    info.creationDate = containerDate(info.dateTags);
    info.isScreenRecording = isScreenRecording(originEvidence(format, video, fileName));
    return info;
}

MediaResult<MediaInfo> readContainerAtPath(const QByteArray& path, const InputLimits& limits) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return MediaError(MediaErrorKind::unreadable, QString::fromLocal8Bit(std::strerror(errno)));
    const int slash = path.lastIndexOf('/');
    auto result = readContainer(fd, path.mid(slash + 1).toStdString(), limits);
    ::close(fd);
    return result;
}

}  // namespace reelkeep::media
