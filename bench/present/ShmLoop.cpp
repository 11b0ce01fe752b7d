// The plain shared-memory present loop: the ceiling the program's presents are measured
// against. Two 320 x 240 views (times the scale) in one window, each with two MIT-SHM segments
// already holding its picture; each frame puts both views, reusing a segment only after its
// completion event, with no conversion and no drawing. Prints the frames a second it reached.
//
//   voxel_shm_loop [SECONDS [SCALE]]   (default 5 and 1; the display from DISPLAY)
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct TSegment {
    uint32_t Id = 0;
    bool InFlight = false;
};

struct TView {
    xcb_window_t Window = 0;
    TSegment Segments[2];
};

// The bits per pixel the server uses for a depth.
int BitsPerPixel(const xcb_setup_t* setup, uint8_t depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0;
         xcb_format_next(&it))
        if (it.data->depth == depth) return it.data->bits_per_pixel;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int scale = argc > 2 ? std::atoi(argv[2]) : 1;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0 || scale < 1) {
        std::fprintf(stderr, "voxel_shm_loop: no display, or a scale below 1\n");
        return 1;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    const uint8_t depth = screen->root_depth;
    const int width = 320 * scale, height = 240 * scale, gap = 16 * scale;
    const size_t bytes = static_cast<size_t>(width) * height * BitsPerPixel(setup, depth) / 8;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm == nullptr || !shm->present || bytes == 0) {
        std::fprintf(stderr, "voxel_shm_loop: the server has no MIT-SHM\n");
        return 1;
    }
    const uint8_t completion = shm->first_event + XCB_SHM_COMPLETION;

    const xcb_window_t top = xcb_generate_id(c);
    const uint32_t background = screen->black_pixel;
    xcb_create_window(c, depth, top, screen->root, 0, 0, static_cast<uint16_t>(2 * width + 3 * gap),
                      static_cast<uint16_t>(height + 2 * gap), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, &background);
    TView views[2];
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    xcb_create_gc(c, gc, top, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    for (int v = 0; v < 2; ++v) {
        TView& view = views[v];
        view.Window = xcb_generate_id(c);
        xcb_create_window(c, depth, view.Window, top, static_cast<int16_t>(gap + v * (width + gap)),
                          static_cast<int16_t>(gap), static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        for (TSegment& segment : view.Segments) {
            const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
            void* bits = id < 0 ? reinterpret_cast<void*>(-1) : shmat(id, nullptr, 0);
            if (bits == reinterpret_cast<void*>(-1)) {
                std::fprintf(stderr, "voxel_shm_loop: no shared memory\n");
                return 1;
            }
            std::memset(bits, 0x40 * (v + 1), bytes); // a picture of its own per view
            segment.Id = xcb_generate_id(c);
            xcb_generic_error_t* error = xcb_request_check(
                c, xcb_shm_attach_checked(c, segment.Id, static_cast<uint32_t>(id), 1));
            shmctl(id, IPC_RMID, nullptr);
            if (error != nullptr) {
                std::fprintf(stderr, "voxel_shm_loop: the server refused the segment\n");
                return 1;
            }
        }
    }
    xcb_map_subwindows(c, top);
    xcb_map_window(c, top);
    xcb_flush(c);

    using TClock = std::chrono::steady_clock;
    const TClock::time_point start = TClock::now();
    long frames = 0;
    const auto readEvents = [&](bool wait) {
        if (wait) {
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&fd, 1, 200);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7F) == completion) {
                const auto* done = reinterpret_cast<xcb_shm_completion_event_t*>(event);
                for (TView& view : views)
                    for (TSegment& segment : view.Segments)
                        if (segment.Id == done->shmseg) segment.InFlight = false;
            }
            std::free(event);
        }
    };
    while (std::chrono::duration<double>(TClock::now() - start).count() < seconds) {
        readEvents(false);
        for (TView& view : views) {
            TSegment* free = nullptr;
            while (free == nullptr && xcb_connection_has_error(c) == 0) {
                for (TSegment& segment : view.Segments)
                    if (!segment.InFlight) free = &segment;
                if (free == nullptr) readEvents(true);
            }
            if (free == nullptr) return 1;
            xcb_shm_put_image(c, view.Window, gc, static_cast<uint16_t>(width),
                              static_cast<uint16_t>(height), 0, 0, static_cast<uint16_t>(width),
                              static_cast<uint16_t>(height), 0, 0, depth, XCB_IMAGE_FORMAT_Z_PIXMAP,
                              1, free->Id, 0);
            free->InFlight = true;
        }
        xcb_flush(c);
        ++frames;
    }
    std::printf("%.0f F/S\n", frames / std::chrono::duration<double>(TClock::now() - start).count());
    xcb_disconnect(c);
    return 0;
}
