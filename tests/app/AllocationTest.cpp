// Frame ticks allocate nothing: every heap allocation of the process is counted (malloc and its
// kin replaced, or the sanitizer's allocator hooks under AddressSanitizer) while the main
// window ticks with the camera turning and the brush at work over the map. What the platform
// plugin allocates inside QBackingStore::flush, which the program cannot avoid when it puts a
// frame on the screen, is counted apart.
#include "MainTestFixture.h"

#include <QBackingStore>

#include <dlfcn.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace {

// Only allocations made on the test's own thread while counting is on.
thread_local bool Counting = false;
thread_local bool InFlush = false;
thread_local long Allocations = 0;      // the program's own
thread_local long FlushAllocations = 0; // the platform's, inside QBackingStore::flush
thread_local long Flushes = 0;

void Note() {
    if (!Counting) return;
    if (InFlush) ++FlushAllocations;
    else ++Allocations;
}

} // namespace

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
    __sanitizer_install_malloc_and_free_hooks([](const volatile void*, size_t) { Note(); },
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
    Note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    Note();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    Note();
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size) {
    Note();
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
    // Counts the program's own allocations of the given number of ticks.
    long CountTicks(int ticks) {
        Allocations = FlushAllocations = Flushes = 0;
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
// only where the raise is refused at the top).
TEST_F(AllocationTest, ThousandTicksAllocateNothing) {
    WriteFileBytes(Dir.File("Map.Dat"), VariedField());
    Show();
    const QPoint centre = Window->DXMap->mapToGlobal(QPoint(160, 120));
    int tick = 0;
    Window->MouseSampler = [&] {
        const bool left = ++tick % 3 != 0;
        return TMouseSample{left, !left, centre.x(), centre.y()};
    };
    CountTicks(360); // warm-up: caches that fill once (glyphs, layouts) fill here
    const THeightArray before = Terrain::HeightArray;
    EXPECT_EQ(CountTicks(1000), 0);
    EXPECT_NE(Terrain::HeightArray, before); // the brush did work
    EXPECT_GE(Flushes, 1000); // the turning screen view reached the window on every tick
    std::printf("platform flush: %ld allocations in %ld flushes\n", FlushAllocations, Flushes);
    RecordProperty("PlatformFlushAllocations", static_cast<int>(FlushAllocations));
}

} // namespace
