#include "views/qt/form_window.hpp"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include <map>
#include <set>

#include "platform/ui/windows.hpp"

namespace kx::views {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename T>
bool is(const ui::Control& c) {
    return dynamic_cast<const T*>(&c) != nullptr;
}

}  // namespace

FormWindow::FormWindow(ui::Form& form) : form_(&form), hWnd_(form.hWnd) {
    setObjectName(qs(form.name.empty() ? form.caption : form.name));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    build();
    pullAll();
    const auto& metrics = ui::screenMetrics();
    const QSize designed(form.width / metrics.twipsPerPixelX, form.height / metrics.twipsPerPixelY);
    resize(designed.expandedTo(minimumSizeHint()));
}

FormWindow::~FormWindow() {
    // The widgets report their last focus change as they go, and their input
    // filters call into the binders: the widgets go first, while the binders
    // still live, and nothing reaches the form any more.
    detached_ = true;
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

bool FormWindow::formAlive() const {
    // The handle first: a form that is gone released it, and only then is
    // the form itself read.
    return !detached_ && hWnd_ != 0 && ui::isWindow(hWnd_) && form_->hWnd == hWnd_;
}

void FormWindow::build() {
    auto* outer = new QVBoxLayout(this);
    auto* tabs = new QVBoxLayout;
    auto* images = new QVBoxLayout;
    auto* body = new QVBoxLayout;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    // Option groups and framed controls: one box per container, where the
    // container or its first control comes.
    std::map<std::string, QGroupBox*> frames;
    const auto frame = [&](const std::string& container) {
        auto& box = frames[container];
        if (box == nullptr) {
            box = new QGroupBox(this);
            box->setObjectName(qs(container));
            new QVBoxLayout(box);
            body->addWidget(box);
        }
        return box;
    };
    std::set<std::string> containers;
    for (const auto& control : form_->controls) containers.insert(control->container);
    QMenuBar* menuBar = nullptr;
    bool bodyStretches = false;

    // Menus that are items of another menu open with it, not on the bar.
    std::set<const ui::Control*> subItems;
    for (const auto& control : form_->controls) {
        if (const auto* menu = dynamic_cast<const ui::Menu*>(control.get()))
            for (const auto& item : menu->items) subItems.insert(item.get());
    }
    const auto after = [this] {
        if (formAlive())
            pullAll();
    };
    for (const auto& control : form_->controls) {
        auto binder = bindControl(control, this, after);
        if (!binder && containers.contains(control->name()))
            binder = bindFrame(control, frame(control->name()));
        if (!binder) {
            unbound_ << qs(control->name()) + " (" + qs(std::string(control->typeName())) + ")";
            continue;
        }
        QWidget* widget = binder->widget();
        if (auto* menu = dynamic_cast<ui::Menu*>(control.get());
            menu && menu->visible && !subItems.contains(menu)) {
            if (menuBar == nullptr)
                menuBar = new QMenuBar(this);
            addMenuItems(*menuBar->addMenu(qs(menu->caption)), *menu);
        }
        if (widget != nullptr) {
            widget->setObjectName(qs(control->name()));
            if (is<ui::CommandButton>(*control)) {
                buttons->addWidget(widget);
            } else if (is<ui::TabStrip>(*control)) {
                tabs->addWidget(widget);
            } else if (control->typeName() == "Image") {
                images->addWidget(widget);
            } else if (frames.contains(control->name())) {
                // the frame itself, placed already
            } else if (!control->container.empty()) {
                frame(control->container)->layout()->addWidget(widget);
            } else {
                const bool grows =
                    is<ui::ListView>(*control) ||
                    (is<ui::TextBox>(*control) && static_cast<ui::TextBox&>(*control).multiLine);
                body->addWidget(widget, grows ? 1 : 0);
                bodyStretches = bodyStretches || grows;
            }
        }
        binders_.push_back(std::move(binder));
    }
    if (!bodyStretches)
        body->addStretch(1);
    images->addStretch(1);
    if (menuBar != nullptr)
        outer->setMenuBar(menuBar);
    outer->addLayout(tabs);
    auto* middle = new QHBoxLayout;
    if (images->count() > 1)
        middle->addLayout(images);
    else
        delete images;
    middle->addLayout(body, 1);
    outer->addLayout(middle, 1);
    outer->addLayout(buttons);
}

void FormWindow::pullAll() {
    for (const auto& binder : binders_) binder->pull();
    pullCaption();
}

void FormWindow::pullCaption() {
    if (!formAlive())
        return;
    const QString title = qs(form_->caption);
    if (windowTitle() != title)
        setWindowTitle(title);
    const bool topmost = ui::isTopmost(hWnd_).value_or(false);
    if (topmost != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
        if (shown)
            show();  // changing the flags hides a window
    }
}

Binder* FormWindow::binder(std::uint64_t serial) const {
    for (const auto& binder : binders_) {
        const auto control = binder->control();
        if (control && control->serial() == serial)
            return binder.get();
    }
    return nullptr;
}

QWidget* FormWindow::widgetOf(std::string_view controlName) const {
    for (const auto& binder : binders_) {
        const auto control = binder->control();
        if (control && control->name() == controlName)
            return binder->widget();
    }
    return nullptr;
}

QStringList FormWindow::clippedTexts() const {
    QStringList out;
    for (const auto& binder : binders_) {
        if (binder->clipped()) {
            const auto control = binder->control();
            out << (control ? qs(control->name()) : QString("?")) + ": " +
                       binder->shownText().value_or(QString());
        }
    }
    return out;
}

void FormWindow::detach() {
    detached_ = true;
    if (modalLoop != nullptr)
        modalLoop->quit();
    hide();
    deleteLater();
}

ui::CommandButton* FormWindow::cancelButton() const {
    for (const auto& control : form_->controls) {
        auto* button = dynamic_cast<ui::CommandButton*>(control.get());
        if (button != nullptr && button->cancel)
            return button;
    }
    return nullptr;
}

void FormWindow::closeEvent(QCloseEvent* event) {
    // The form decides: it may refuse to unload. When it unloads, the view
    // is told and detaches this window.
    event->ignore();
    if (formAlive())
        form_->userClose();
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    // Keys a control's widget passed on were offered to the control already
    // (and to the form first, when it previews keys).
    const QWidget* focus = focusWidget();
    if (formAlive() && (focus == nullptr || focus == this)) {
        const std::int16_t code = keyCode(event->key());
        if (code != 0 && form_->keyDown(code, shiftState(event->modifiers())) == 0)
            return;
    }
    QDialog::keyPressEvent(event);
}

void FormWindow::mouseMoveEvent(QMouseEvent* event) {
    if (formAlive()) {
        const auto& metrics = ui::screenMetrics();
        form_->mouseMove(0, shiftState(event->modifiers()),
                         static_cast<float>(event->position().x() * metrics.twipsPerPixelX),
                         static_cast<float>(event->position().y() * metrics.twipsPerPixelY));
    }
    QDialog::mouseMoveEvent(event);
}

void FormWindow::reject() {
    // Escape presses the form's cancel button; a form without one stays.
    if (!formAlive())
        return;
    if (auto* button = cancelButton(); button != nullptr)
        button->click();
    if (formAlive())
        pullAll();
}

}  // namespace kx::views
