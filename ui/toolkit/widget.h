#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/sigslot.h"

namespace Gdiplus {
class Graphics;
}

namespace ui {

// What a widget is told about the mouse. Leave is the toolkit's own: the pointer is no longer over
// the widget.
enum class MouseAction : int32_t { Move = 0, Press = 1, Release = 2, Leave = 3 };

// A button's look.
enum class ButtonState : int32_t { Hover = 0, Normal = 1, Down = 2, Disabled = 3 };

// A rectangle of the window that draws itself and receives mouse actions, positioned in its
// parent's coordinates. Widgets form a tree owned from its root; the root of a window's tree knows
// the window. The children's order is their paint order (later ones over earlier ones) and their
// hit-test order (the first one that contains the point wins).
class Widget : public sigslot::has_slots {
public:
    Widget() = default;
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;
    // Destroys the children first, in their order.
    ~Widget() override;

    // The left button went down over the widget; PressedFrom follows with the widget itself.
    sigslot::signal0 Pressed;
    // The left button went up over the widget; ClickedFrom follows with the widget itself.
    sigslot::signal0 Clicked;
    sigslot::signal1<Widget*> PressedFrom;
    sigslot::signal1<Widget*> ClickedFrom;

    // Draws the widget itself with its top-left corner at the surface's origin.
    virtual void Paint(Gdiplus::Graphics& surface) {}
    // Reacts to one mouse action at (x, y) in the widget's coordinates; non-zero when handled.
    virtual int32_t OnMouse(MouseAction action, int x, int y);
    // Routes an action through the subtree; an unhandled press starts dragging the window.
    virtual int32_t DispatchMouse(MouseAction action, int x, int y);
    // Hiding or showing repaints the widget's area.
    virtual void SetVisible(bool visible);

    // The widget owns `child` from now on; returns it for the caller's shortcut.
    template <typename Child>
    Child* AddChild(std::unique_ptr<Child> child) {
        Child* added = child.get();
        Adopt(std::move(child));
        return added;
    }
    // Stores the position (in the parent's coordinates) and size; does not repaint.
    void SetGeometry(int x, int y, int width, int height);
    void SetName(const std::wstring& name) { m_name = name; }

    int X() const { return m_x; }
    int Y() const { return m_y; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Widget* Parent() const { return m_pParent; }
    bool IsVisible() const { return m_bVisible; }
    const std::wstring& Name() const { return m_name; }
    size_t ChildCount() const { return m_children.size(); }
    Widget* Child(size_t index) const { return m_children[index].get(); }

    // The widget's rectangle in the client coordinates of its window.
    RECT AbsoluteRect() const;
    // The window of the tree the widget belongs to, or null while it is not in a window's tree.
    HWND HostWindow() const;
    // Has the window repaint the widget's rectangle later, without erasing; nothing without one.
    void Invalidate();
    // Paints the widget, then its visible children over it, each moved to its own position.
    void PaintTree(Gdiplus::Graphics& surface);

protected:
    // Only the root of a window's tree has a window.
    void SetHostWindow(HWND window) { m_hHostWindow = window; }
    // Emits the signals of a press or a release over the widget.
    void EmitPressed();
    void EmitClicked();

private:
    void Adopt(std::unique_ptr<Widget> child);

    std::vector<std::unique_ptr<Widget>> m_children;
    int m_width = 0;
    int m_height = 0;
    std::wstring m_name;
    int m_x = 0;
    int m_y = 0;
    Widget* m_pParent = nullptr;
    HWND m_hHostWindow = nullptr;
    bool m_bVisible = true;
};

}  // namespace ui
