#include "ui/toolkit/widget.h"

#include "ui/toolkit/gdiplus_include.h"

namespace ui {

namespace {

// The system command that moves a window as if its caption were dragged (SC_MOVE | HTCAPTION).
constexpr WPARAM kDragWindowCommand = 0xF012;

bool ContainsStrictly(const Widget& child, int x, int y) {
    return child.X() < x && x < child.X() + child.Width() && child.Y() < y && y < child.Y() + child.Height();
}

}  // namespace

Widget::~Widget() {
    // In list order, while this widget's signals still exist for the children to disconnect from.
    for (auto& child : m_children) child.reset();
}

void Widget::Adopt(std::unique_ptr<Widget> child) {
    child->m_pParent = this;
    m_children.push_back(std::move(child));
}

void Widget::SetGeometry(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

void Widget::EmitPressed() {
    Pressed.emit();
    PressedFrom.emit(this);
}

void Widget::EmitClicked() {
    Clicked.emit();
    ClickedFrom.emit(this);
}

int32_t Widget::OnMouse(MouseAction action, int x, int y) {
    if (action == MouseAction::Press) EmitPressed();
    else if (action == MouseAction::Release) EmitClicked();
    return 0;
}

int32_t Widget::DispatchMouse(MouseAction action, int x, int y) {
    // By index: a slot called on the way may add a child (a page opened by a click).
    if (action == MouseAction::Leave) {
        for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->DispatchMouse(MouseAction::Leave, x, y);
        return OnMouse(MouseAction::Leave, x, y);
    }
    for (size_t i = 0; i < m_children.size(); ++i) {
        Widget& child = *m_children[i];
        if (!child.IsVisible()) continue;
        if (ContainsStrictly(child, x, y)) return child.DispatchMouse(action, x - child.X(), y - child.Y());
        child.DispatchMouse(MouseAction::Leave, 0, 0);
    }
    const int32_t handled = OnMouse(action, x, y);
    if (handled || action != MouseAction::Press) return handled ? 1 : 0;
    // Nothing here takes the press: the window follows the pointer while the button is held.
    if (HWND window = HostWindow()) SendMessageW(window, WM_SYSCOMMAND, kDragWindowCommand, 0);
    return 1;
}

void Widget::SetVisible(bool visible) {
    if (visible == m_bVisible) return;
    m_bVisible = visible;
    Invalidate();
}

RECT Widget::AbsoluteRect() const {
    RECT rect = {0, 0, 0, 0};
    for (const Widget* widget = this; widget; widget = widget->m_pParent) {
        rect.left += widget->m_x;
        rect.top += widget->m_y;
    }
    rect.right = rect.left + m_width;
    rect.bottom = rect.top + m_height;
    return rect;
}

HWND Widget::HostWindow() const {
    for (const Widget* widget = this; widget; widget = widget->m_pParent) {
        if (widget->m_hHostWindow) return widget->m_hHostWindow;
    }
    return nullptr;
}

void Widget::Invalidate() {
    HWND window = HostWindow();
    if (!window) return;
    const RECT rect = AbsoluteRect();
    InvalidateRect(window, &rect, FALSE);
}

void Widget::PaintTree(Gdiplus::Graphics& surface) {
    if (!m_bVisible) return;
    Paint(surface);
    for (auto& child : m_children) {
        const auto dx = static_cast<Gdiplus::REAL>(child->m_x);
        const auto dy = static_cast<Gdiplus::REAL>(child->m_y);
        surface.TranslateTransform(dx, dy);
        child->PaintTree(surface);
        surface.TranslateTransform(-dx, -dy);
    }
}

}  // namespace ui
