// A top-level window whose messages run through a replaceable handler and a chain of hooked
// handlers, so components (the views) can hook the form as window sub-classing does; the client
// area scrolls when the window is made smaller than its content.
#pragma once

#include <QScrollArea>

#include <functional>
#include <memory>
#include <vector>

class TForm : public QScrollArea {
    Q_OBJECT
  public:
    // A message handler: returns what QWidget::event would.
    using TWndMethod = std::function<bool(QEvent*)>;
    // A hooked handler: sees the message first and passes it on through previous.
    using THookMethod = std::function<bool(QEvent* event, const TWndMethod& previous)>;

    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override; // the hook chain goes with the form; hooks freed later find it gone

    // The form's own handler, at the end of the chain; starts as DefaultHandler.
    TWndMethod WindowProc;
    // The form's own handling of a message.
    bool DefaultHandler(QEvent* event);

    // The chain of hooked handlers, owned by the form: the one hooked last sees a message
    // first, and each passes it on to the one hooked before it. A hook comes off wherever it
    // sits; the chain relinks around it.
    class THookChain {
      public:
        explicit THookChain(TForm* form);
        // Puts the handler at the head of the chain; returns its key for Remove.
        int Add(THookMethod handler);
        void Remove(int key);
        // Runs the message through the chain, head first, down to the form's WindowProc.
        bool Dispatch(QEvent* event);

      private:
        struct TLink {
            int Key;
            THookMethod Handler;
            TWndMethod Previous; // the next handler down the chain, kept so no call allocates
        };
        void Relink();
        TForm* FForm;
        int FNextKey = 1;
        std::vector<std::unique_ptr<TLink>> FLinks; // in order of hooking
    };
    // The form's chain; hooks hold it weakly, so a hook freed after its form does nothing.
    std::weak_ptr<THookChain> Hooks() const;

    // The client area: controls are placed in it at client coordinates.
    QWidget* Client() const;
    // Sets the client area's size; the window takes the same size when it fits the screen.
    void SetClientSize(int width, int height);

    // Before the first show: centred on the screen's work area when the window fits it; else at
    // the work area's top-left corner and no larger than it, the scroll bars showing the rest.
    void PlaceOnScreen();

    // Asks the form to close, as a program request (not from the window system).
    void Close();

  protected:
    bool event(QEvent* event) override;

  private:
    bool CallWindowProc(QEvent* event);
    // Shrinks a window placed at the corner by its frame, once the window manager has added it.
    void FitFrame();
    bool FFitFrame = false;
    QWidget* FClient;
    std::shared_ptr<THookChain> FHooks;
};
