// Frame ticks allocate nothing: every heap allocation of the process is counted (malloc and its
// kin replaced, or the sanitizer's allocator hooks under AddressSanitizer) while the main
// window ticks with the camera turning and the brush at work over the map. What the platform
// plugin allocates inside QBackingStore::flush, which the program cannot avoid when it puts a
// frame on the screen, is counted apart. So is what libxcb allocates on the X path (the
// end-to-end stage runs this under Xvfb): the buffer of every event and reply it hands over,
// with its queue records; an allocation is libxcb's when its caller's address lies in the
// library's code.
#include "MainTestFixture.h"
#include "platform/Platform.h"

#include <QBackingStore>
#include <QGuiApplication>

#include <dlfcn.h>
#include <link.h>
#include <xcb/xcb.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace {

// Only allocations made on the test's own thread while counting is on.
thread_local bool Counting = false;
thread_local bool InFlush = false;
thread_local long Allocations = 0;      // the program's own
thread_local long FlushAllocations = 0; // the platform's, inside QBackingStore::flush
thread_local long Flushes = 0;
thread_local long XcbAllocations = 0; // libxcb's, for what it reads from the server
thread_local long XcbEvents = 0;      // events and errors it handed to the program
thread_local long XcbReplies = 0;     // replies it handed to the program

// The code of libxcb and its extension libraries, found before counting starts.
struct TCodeRange {
    uintptr_t Begin, End;
};
TCodeRange XcbCode[16];
int XcbCodeCount = 0;

void FindXcbCode() {
    XcbCodeCount = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const char* slash = std::strrchr(info->dlpi_name, '/');
            const char* name = slash != nullptr ? slash + 1 : info->dlpi_name;
            if (std::strncmp(name, "libxcb", 6) != 0) return 0;
            for (int i = 0; i < info->dlpi_phnum && XcbCodeCount < 16; ++i) {
                const ElfW(Phdr)& header = info->dlpi_phdr[i];
                if (header.p_type == PT_LOAD && (header.p_flags & PF_X) != 0) {
                    const uintptr_t begin = info->dlpi_addr + header.p_vaddr;
                    XcbCode[XcbCodeCount++] = {begin, begin + header.p_memsz};
                }
            }
            return 0;
        },
        nullptr);
}

bool InXcb(const void* caller) {
    const auto address = reinterpret_cast<uintptr_t>(caller);
    for (int i = 0; i < XcbCodeCount; ++i)
        if (address >= XcbCode[i].Begin && address < XcbCode[i].End) return true;
    return false;
}

void Note(const void* caller) {
    if (!Counting) return;
    if (InXcb(caller)) ++XcbAllocations;
    else if (InFlush) ++FlushAllocations;
    else ++Allocations;
}

template <class TFunction> TFunction Next(const char* name) {
    return reinterpret_cast<TFunction>(dlsym(RTLD_NEXT, name));
}

} // namespace

// Stand in front of libxcb's own (the executable's definitions win for the program's calls) to
// count what it hands over.
extern "C" xcb_generic_event_t* xcb_poll_for_event(xcb_connection_t* c) {
    static const auto next = Next<xcb_generic_event_t* (*)(xcb_connection_t*)>("xcb_poll_for_event");
    xcb_generic_event_t* event = next(c);
    if (Counting && event != nullptr) ++XcbEvents;
    return event;
}
extern "C" int xcb_poll_for_reply(xcb_connection_t* c, unsigned int request, void** reply,
                                  xcb_generic_error_t** error) {
    static const auto next =
        Next<int (*)(xcb_connection_t*, unsigned int, void**, xcb_generic_error_t**)>(
            "xcb_poll_for_reply");
    const int done = next(c, request, reply, error);
    if (Counting && done != 0 && *reply != nullptr) ++XcbReplies;
    return done;
}

// Stands in front of Qt's own flush (the executable's definition wins) to mark its extent.
void QBackingStore::flush(const QRegion& region, QWindow* window, const QPoint& offset) {
    using TFlush = void (*)(QBackingStore*, const QRegion&, QWindow*, const QPoint&);
    static const auto qtFlush = reinterpret_cast<TFlush>(
        dlsym(RTLD_NEXT, "_ZN13QBackingStore5flushERK7QRegionP7QWindowRK6QPoint"));
    if (Counting) ++Flushes;
    InFlush = true;
    qtFlush(this, region, window, offset);
    InFlush = false;
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __sanitizer_install_malloc_and_free_hooks(
    void (*onMalloc)(const volatile void*, size_t), void (*onFree)(const volatile void*));

namespace {
const bool HooksInstalled = [] {
    // The hook's caller is the sanitizer's allocator: nothing is told apart as libxcb's here.
    __sanitizer_install_malloc_and_free_hooks([](const volatile void*, size_t) { Note(nullptr); },
                                              [](const volatile void*) {});
    return true;
}();
} // namespace
#else
// glibc's own entries, so the replacements can pass every call on.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) {
    Note(__builtin_return_address(0));
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    Note(__builtin_return_address(0));
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    Note(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    Note(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    Note(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size) {
    Note(__builtin_return_address(0));
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) return 12; // ENOMEM
    *result = pointer;
    return 0;
}
void free(void* pointer) { __libc_free(pointer); }
}
#endif

namespace {

class AllocationTest : public MainWindowTest {
  protected:
    // The platform the program opens before its window: on X the views then present through
    // our own connection and the tick's pointer query goes out on it. TearDown closes the
    // window before this goes.
    const std::unique_ptr<TPlatform> Platform = OpenPlatform();
    // Counts the program's own allocations of the given number of ticks.
    long CountTicks(int ticks) {
        if (XcbCodeCount == 0) FindXcbCode();
        Allocations = FlushAllocations = Flushes = XcbAllocations = XcbEvents = XcbReplies = 0;
        Counting = true;
        for (int i = 0; i < ticks; ++i) Window->DXTimerTimer(Window->DXTimer, 1);
        Counting = false;
        return Allocations;
    }
};

TEST_F(AllocationTest, CountingSeesAnAllocation) {
    Allocations = 0;
    Counting = true;
    void* volatile block = std::malloc(16);
    auto* object = new int(3);
    Counting = false;
    std::free(block);
    delete object;
    EXPECT_EQ(Allocations, 2);
}

// The camera turns, the cursor rests over the map, the left button is held for two ticks and
// the right one for the third, so both views change and are presented (the map stops changing
// only where the raise is refused at the top). On X the tick also sends its pointer query ahead
// and reads the last one's reply, as the uncapped program does; the buttons and the cursor
// stay scripted.
TEST_F(AllocationTest, ThousandTicksAllocateNothing) {
    WriteFileBytes(Dir.File("Map.Dat"), VariedField());
    Show();
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QPoint centre = Window->DXMap->mapToGlobal(QPoint(160, 120));
    int tick = 0;
    Window->MouseSampler = [&] {
        if (x11) WithShortPresses(SampleMouseAhead(Window.get()), Window.get());
        const bool left = ++tick % 3 != 0;
        return TMouseSample{left, !left, centre.x(), centre.y()};
    };
    CountTicks(360); // warm-up: caches that fill once (glyphs, layouts) fill here
    const THeightArray before = Terrain::HeightArray;
    EXPECT_EQ(CountTicks(1000), 0);
    EXPECT_NE(Terrain::HeightArray, before); // the brush did work
    if (x11 && XcbEvents > 0) {
        // Presented through the views' own connection: the server's word that it read a
        // segment comes back as an event, about one per present, and the pointer's two
        // replies (relative to the root and to the window).
        EXPECT_GE(XcbEvents, 1000);
        EXPECT_GE(XcbReplies, 1);
        EXPECT_LE(XcbEvents + XcbReplies, 4 * 1000);
        EXPECT_GT(XcbAllocations, 0);
    } else {
        EXPECT_GE(Flushes, 1000); // the turning screen view reached the window on every tick
    }
    std::printf("platform flush: %ld allocations in %ld flushes\n", FlushAllocations, Flushes);
    std::printf("libxcb: %ld allocations for the %ld events and %ld replies it handed over\n",
                XcbAllocations, XcbEvents, XcbReplies);
    RecordProperty("PlatformFlushAllocations", static_cast<int>(FlushAllocations));
    RecordProperty("XcbAllocations", static_cast<int>(XcbAllocations));
    RecordProperty("XcbEvents", static_cast<int>(XcbEvents));
    RecordProperty("XcbReplies", static_cast<int>(XcbReplies));
}

} // namespace
