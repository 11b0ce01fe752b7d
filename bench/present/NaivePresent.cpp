// The naive present loop, for measuring the program's presents against in the same X server:
// a window with two 320 x 240 views, each frame filling both and repainting each with
// QWidget::repaint, as a plain Qt program would. Prints the frames a second it reached.
//
//   voxel_naive_present [SECONDS]   (default 5; the display from DISPLAY or -display)
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class TNaiveView : public QWidget {
  public:
    TNaiveView() : FPicture(320, 240, QImage::Format_RGB16) {
        setFixedSize(320, 240);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void Fill(int frame) { FPicture.fill(QColor::fromHsv(frame % 360, 200, 200)); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, FPicture);
    }

  private:
    QImage FPicture;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    TNaiveView* views[] = {new TNaiveView, new TNaiveView};
    for (TNaiveView* view : views)
        layout->addWidget(view);
    window.show();
    long frames = 0;
    QElapsedTimer clock;
    QTimer tick;
    // A zero timer: a frame whenever the loop is idle, as the program ticks.
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!clock.isValid()) clock.start();
        for (TNaiveView* view : views) {
            view->Fill(static_cast<int>(frames));
            view->repaint();
        }
        ++frames;
        if (clock.elapsed() >= seconds * 1000) {
            std::printf("%.0f F/S\n", frames * 1000.0 / clock.elapsed());
            application.quit();
        }
    });
    tick.start(0);
    return application.exec();
}
