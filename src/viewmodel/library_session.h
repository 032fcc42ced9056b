// library_session.h: one opened library as a window or a command uses it: the
// service over its ports, the view model over the service, and the narrow media
// view the window's views load from. Whoever opens the library owns this, so the
// window only borrows; members die in reverse order, the view model first.
#pragma once

#include "library/photo_library_service.h"
#include "viewmodel/media_source.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

struct LibrarySession {
    LibrarySession(LibraryPorts ports, Environment environment)
        : service(std::move(ports)), media(service), viewModel(service, std::move(environment)) {}

    PhotoLibraryService service;
    ServiceMediaSource media;
    VideoListViewModel viewModel;
};

}  // namespace reelkeep
