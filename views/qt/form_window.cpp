#include "views/qt/form_window.hpp"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>
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

bool hasWidget(const ui::Control& c) {
    return !is<ui::Timer>(c) && !is<ui::Menu>(c) && !is<ui::ImageList>(c);
}

// The form was designed with a place for each of its controls.
bool designed(const ui::Form& form) {
    bool any = false;
    for (const auto& control : form.controls) {
        if (!hasWidget(*control))
            continue;
        if (control->width <= 0 || control->height <= 0)
            return false;
        any = true;
    }
    return any && form.width > 0 && form.height > 0;
}

// The dialog font the designs were made with: its average character width
// and line height in pixels.
constexpr double kDesignCharWidth = 6.0;
constexpr double kDesignLineHeight = 13.0;
// What a form's width and height hold besides its inside: the borders and
// the title bar, in twips.
constexpr std::int32_t kFrameWidth = 90, kFrameHeight = 405;

// The menu bar of the form's visible top-level menus, or null. Menus that
// are items of another menu open with it.
QMenuBar* menuBarOf(const ui::Form& form, QWidget* parent) {
    std::set<const ui::Control*> subItems;
    for (const auto& control : form.controls) {
        if (const auto* menu = dynamic_cast<const ui::Menu*>(control.get()))
            for (const auto& item : menu->items) subItems.insert(item.get());
    }
    QMenuBar* bar = nullptr;
    for (const auto& control : form.controls) {
        const auto* menu = dynamic_cast<const ui::Menu*>(control.get());
        if (menu == nullptr || !menu->visible || subItems.contains(menu))
            continue;
        if (bar == nullptr)
            bar = new QMenuBar(parent);
        addMenuItems(*bar->addMenu(qs(menu->caption)), *menu);
    }
    return bar;
}

}  // namespace

FormWindow::FormWindow(ui::Form& form) : form_(&form), hWnd_(form.hWnd) {
    setObjectName(qs(form.name.empty() ? form.caption : form.name));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    if (designed(form)) {
        buildPlaced();
        pullAll();
        return;
    }
    build();
    pullAll();
    const auto& metrics = ui::screenMetrics();
    QSize size = QSize(form.width / metrics.twipsPerPixelX, form.height / metrics.twipsPerPixelY)
                     .expandedTo(minimumSizeHint());
    // A text that wraps needs a height that depends on the width, which the
    // window's least size does not know: the width first (the longest text
    // on one line, with a character to spare, as a wrapping label breaks a
    // line that only just fits; up to a line of a readable length), then
    // the height.
    const int character = fontMetrics().averageCharWidth();
    int widest = 0;
    for (const auto& binder : binders_) widest = std::max(widest, binder->neededWidth());
    const QMargins margins = layout()->contentsMargins();
    size.setWidth(std::max(size.width(), std::min(widest + character, 70 * character) +
                                             margins.left() + margins.right()));
    if (hasHeightForWidth())
        size.setHeight(std::max(size.height(), heightForWidth(size.width())));
    resize(size);
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
    auto* toolbar = new QHBoxLayout;
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
    bool bodyStretches = false;

    const auto after = [this] {
        if (formAlive())
            pullAll();
    };
    for (const auto& control : form_->controls) {
        auto binder = containers.contains(control->name())
                          ? bindFrame(control, frame(control->name()))
                          : bindControl(control, this, after);
        if (!binder) {
            unbound_ << qs(control->name()) + " (" + qs(std::string(control->typeName())) + ")";
            continue;
        }
        QWidget* widget = binder->widget();
        if (widget != nullptr) {
            widget->setObjectName(qs(control->name()));
            if (is<ui::CommandButton>(*control)) {
                (static_cast<ui::CommandButton&>(*control).toolbar ? toolbar : buttons)
                    ->addWidget(widget);
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
    if (auto* menuBar = menuBarOf(*form_, this); menuBar != nullptr)
        outer->setMenuBar(menuBar);
    if (toolbar->count() > 0) {
        toolbar->addStretch(1);
        outer->addLayout(toolbar);
    } else {
        delete toolbar;
    }
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

void FormWindow::buildPlaced() {
    const auto after = [this] {
        if (formAlive())
            pullAll();
    };
    std::map<std::string, QWidget*, std::less<>> byName;
    struct Placed {
        const ui::Control* control;
        Binder* binder;
        QWidget* widget;
    };
    std::vector<Placed> placed;
    for (const auto& control : form_->controls) {
        auto binder = bindControl(control, this, after);
        if (!binder) {
            unbound_ << qs(control->name()) + " (" + qs(std::string(control->typeName())) + ")";
            continue;
        }
        if (QWidget* widget = binder->widget(); widget != nullptr) {
            widget->setObjectName(qs(control->name()));
            binder->pull();  // the texts, which decide the scale
            byName[control->name()] = widget;
            placed.push_back({control.get(), binder.get(), widget});
        }
        binders_.push_back(std::move(binder));
    }

    // Twips to pixels, scaled up by the screen's font against the design's,
    // and further where a caption would not fit its control on one line
    // (by half as much again at most: a caption that needs more than that
    // is too long for its design and shows as cut off).
    const auto& metrics = ui::screenMetrics();
    const QFontMetricsF font(this->font());
    const double fontX = std::max(1.0, font.averageCharWidth() / kDesignCharWidth);
    const double fontY = std::max(1.0, font.height() / kDesignLineHeight);
    double fit = fontX;
    for (const auto& p : placed) {
        const double designedWidth = double(p.control->width) / metrics.twipsPerPixelX;
        const double designedHeight = fontY * p.control->height / metrics.twipsPerPixelY;
        if (is<ui::Label>(*p.control) && designedHeight >= 2 * font.lineSpacing())
            continue;  // a label of several lines wraps its text
        fit = std::max(fit, p.binder->neededWidth() / designedWidth);
    }
    const double sx = std::min(fit, 1.5 * fontX) / metrics.twipsPerPixelX;
    const double sy = fontY / metrics.twipsPerPixelY;
    const auto place = [sx, sy](std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
        return QRect(qRound(x * sx), qRound(y * sy), qRound(w * sx), qRound(h * sy));
    };

    // A container whose inside begins lower than the design thought (a
    // frame's title in a larger font) moves its controls down, and grows.
    std::map<std::string, int, std::less<>> lowered;
    for (const auto& p : placed) {
        if (!byName.contains(p.control->container))
            continue;
        const int top = place(0, p.control->top, 0, 0).top();
        auto [it, fresh] = lowered.try_emplace(p.control->container, top);
        if (!fresh)
            it->second = std::min(it->second, top);
    }
    for (const auto& p : placed) {
        if (auto it = lowered.find(p.control->name()); it != lowered.end())
            it->second = std::max(0, p.binder->insideTop() - it->second);
    }
    const auto loweredBy = [&lowered](const std::string& container) {
        const auto it = lowered.find(container);
        return it == lowered.end() ? 0 : it->second;
    };

    auto* menuBar = menuBarOf(*form_, this);
    const int top = menuBar != nullptr ? menuBar->sizeHint().height() : 0;
    QRect used;
    for (const auto& p : placed) {
        const auto& c = *p.control;
        QRect at = place(c.left, c.top, c.width, c.height);
        at.setHeight(at.height() + loweredBy(c.name()));
        const auto holder = byName.find(c.container);
        if (holder != byName.end()) {
            p.widget->setParent(holder->second);
            at.translate(0, loweredBy(c.container));
        } else {
            at.translate(0, top);
            used |= at;
        }
        if (is<ui::TabStrip>(c)) {
            // The tabs along the top, the pages' panel below them: the
            // pages are placed onto the panel as their own controls.
            const int tabs = p.widget->sizeHint().height();
            auto* panel = new QFrame(p.widget->parentWidget());
            panel->setFrameShape(QFrame::StyledPanel);
            panel->setGeometry(at.adjusted(0, tabs - 1, 0, 0));
            panel->lower();
            at.setHeight(tabs);
        }
        p.widget->setGeometry(at);
    }
    const QRect inside = place(0, 0, form_->width - kFrameWidth, form_->height - kFrameHeight);
    const int margin = qRound(120 * sy);
    setFixedSize(QSize(inside.width(), inside.height() + top)
                     .expandedTo(QSize(used.right() + margin, used.bottom() + margin)));
    if (menuBar != nullptr)
        menuBar->setGeometry(0, 0, width(), top);
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
