"""Real X input through xdotool: the pointer, its buttons and the keyboard."""

from waits import poll


class Inputs:
    """Mixed into Display, whose run and xdotool reach its server."""

    def move(self, x, y):
        """Moves the pointer to a root position and waits until the server reports it there."""
        self.xdotool("mousemove", x, y)
        poll(lambda: self.pointer() == (x, y), 10, f"the pointer to reach {x},{y}", 0.02)

    def pointer(self):
        values = dict(line.split("=", 1) for line in
                      self.xdotool("getmouselocation", "--shell").split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def button_down(self, button):
        self.xdotool("mousedown", button)

    def button_up(self, button):
        self.xdotool("mouseup", button)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", 30, text)
