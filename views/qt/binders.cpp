#include "views/qt/binders.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTreeWidget>

#include <algorithm>
#include <exception>
#include <iostream>
#include <type_traits>

#include "platform/ui/tool_tips.hpp"
#include "platform/ui/windows.hpp"

namespace kx::views {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Pixels to the twips the engine's mouse events carry.
float twipsX(double px) {
    return static_cast<float>(px * ui::screenMetrics().twipsPerPixelX);
}
float twipsY(double px) {
    return static_cast<float>(px * ui::screenMetrics().twipsPerPixelY);
}

std::int16_t mouseButton(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return ui::vbLeftButton;
        case Qt::RightButton:
            return ui::vbRightButton;
        case Qt::MiddleButton:
            return ui::vbMiddleButton;
        default:
            return 0;
    }
}

// Keys and mouse buttons on a widget go to its control first; a key the
// control's handlers swallow (set to 0) never reaches the widget.
class InputFilter final : public QObject {
  public:
    /// `key` gets presses (true) and releases; a press it answers 0 for is
    /// swallowed.
    InputFilter(QObject* parent, std::function<std::int16_t(bool, std::int16_t, std::int16_t)> key,
                std::function<void(bool, std::int16_t, std::int16_t, float, float)> mouse,
                std::function<void(bool)> focus = {})
        : QObject(parent),
          key_(std::move(key)),
          mouse_(std::move(mouse)),
          focus_(std::move(focus)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                const auto* key = static_cast<QKeyEvent*>(event);
                const bool press = event->type() == QEvent::KeyPress;
                const std::int16_t code = keyCode(key->key());
                if (code != 0 && key_(press, code, shiftState(key->modifiers())) == 0 && press)
                    return true;
                break;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                mouse_(event->type() == QEvent::MouseButtonPress, mouseButton(mouse->button()),
                       shiftState(mouse->modifiers()), twipsX(mouse->position().x()),
                       twipsY(mouse->position().y()));
                break;
            }
            case QEvent::FocusIn:
            case QEvent::FocusOut:
                if (focus_)
                    focus_(event->type() == QEvent::FocusIn);
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<std::int16_t(bool, std::int16_t, std::int16_t)> key_;
    std::function<void(bool, std::int16_t, std::int16_t, float, float)> mouse_;
    std::function<void(bool)> focus_;
};

class LabelBinder final : public Binder {
  public:
    LabelBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent, std::function<void()> after)
        : Binder(c, std::move(after)), label_(new QLabel(parent)) {
        label_->setWordWrap(true);
        label_->setTextFormat(Qt::PlainText);
        label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        forwardInput(label_);
    }
    QWidget* widget() const override { return label_; }
    std::optional<QString> shownText() const override { return label_->text(); }
    int neededWidth() const override {
        return label_->fontMetrics().horizontalAdvance(label_->text()) + 2 * label_->margin();
    }
    bool clipped() const override {
        if (!label_->isVisible() || label_->text().isEmpty())
            return false;
        const QRect room = label_->contentsRect();
        return label_->heightForWidth(room.width()) > room.height();
    }

  protected:
    void pullState(ui::Control& c) override {
        label_->setText(withoutMnemonic(static_cast<ui::Label&>(c).caption));
    }

  private:
    QLabel* label_;
};

class TextBoxBinder final : public Binder {
  public:
    TextBoxBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                  std::function<void()> after)
        : Binder(c, std::move(after)) {
        const auto& box = static_cast<ui::TextBox&>(*c);
        if (box.multiLine) {
            multi_ = new QPlainTextEdit(parent);
            QObject::connect(multi_, &QPlainTextEdit::textChanged, multi_,
                             [this] { typed(multi_->toPlainText()); });
            forwardInput(multi_);
        } else {
            line_ = new QLineEdit(parent);
            QObject::connect(line_, &QLineEdit::textEdited, line_,
                             [this](const QString& text) { typed(text); });
            forwardInput(line_);
        }
    }
    QWidget* widget() const override {
        return multi_ != nullptr ? static_cast<QWidget*>(multi_) : line_;
    }

  protected:
    void pullState(ui::Control& c) override {
        const auto& box = static_cast<ui::TextBox&>(c);
        const QString text = qs(box.text);
        if (multi_ != nullptr) {
            const QSignalBlocker quiet(multi_);
            multi_->setReadOnly(box.locked);
            if (multi_->toPlainText() != text)
                multi_->setPlainText(text);
            return;
        }
        line_->setReadOnly(box.locked);
        line_->setMaxLength(box.maxLength > 0 ? box.maxLength : 32767);
        line_->setEchoMode(box.passwordChar.empty() ? QLineEdit::Normal : QLineEdit::Password);
        if (line_->text() != text)
            line_->setText(text);
    }

  private:
    void typed(const QString& text) {
        actOn<ui::TextBox>([&text](ui::TextBox& box) { box.setText(text.toStdString()); });
    }
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
};

// An editable combo box. What is typed goes to the model's text, and the
// keys to the control, whose handlers may complete the text (the completion
// is theirs, so Qt's own is off); choosing an entry of the drop-down list
// goes to the model as a choice.
class ComboBoxBinder final : public Binder {
  public:
    ComboBoxBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                   std::function<void()> after)
        : Binder(c, std::move(after)), combo_(new QComboBox(parent)) {
        combo_->setEditable(true);
        combo_->setInsertPolicy(QComboBox::NoInsert);
        combo_->setCompleter(nullptr);
        QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, combo_,
                         [this](const QString& text) {
                             actOn<ui::ComboBox>(
                                 [&text](ui::ComboBox& box) { box.setText(text.toStdString()); });
                         });
        QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
            if (index >= 0)
                actOn<ui::ComboBox>(
                    [index](ui::ComboBox& box) { box.choose(static_cast<std::size_t>(index)); });
        });
        forwardInput(combo_->lineEdit());
    }
    QWidget* widget() const override { return combo_; }

  protected:
    void pullState(ui::Control& c) override {
        const auto& box = static_cast<ui::ComboBox&>(c);
        const QSignalBlocker quiet(combo_);
        QStringList entries;
        for (const auto& entry : box.list) entries << qs(entry);
        QStringList shown;
        for (int i = 0; i < combo_->count(); ++i) shown << combo_->itemText(i);
        if (shown != entries) {
            combo_->clear();
            combo_->addItems(entries);
        }
        QLineEdit* edit = combo_->lineEdit();
        const QString text = qs(box.text);
        if (edit->text() == text)
            return;  // the user's cursor stays where it is
        edit->setText(text);
        // A text the model completed comes with the added part selected. The
        // model counts bytes of its text, the widget characters.
        if (box.selLength > 0 && box.selStart >= 0 &&
            static_cast<std::size_t>(box.selStart) <= box.text.size()) {
            const auto start = static_cast<std::size_t>(box.selStart);
            const auto length =
                std::min(static_cast<std::size_t>(box.selLength), box.text.size() - start);
            edit->setSelection(static_cast<int>(qs(box.text.substr(0, start)).size()),
                               static_cast<int>(qs(box.text.substr(start, length)).size()));
        }
    }

  private:
    QComboBox* combo_;
};

// Buttons, check boxes and option buttons: a click goes to the model, which
// decides the new state (a check box's handler may refuse it, option buttons
// are grouped by container, not by Qt); the widget then shows the state.
template <typename W, typename M>
class ClickBinder final : public Binder {
  public:
    using Show = void (*)(W& widget, const M& model);
    ClickBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent, std::function<void()> after,
                Show show)
        : Binder(c, std::move(after)), widget_(new W(parent)), show_(show) {
        QObject::connect(widget_, &QAbstractButton::clicked, widget_,
                         [this] { act([](ui::Control& control) { control.click(); }); });
        forwardInput(widget_);
    }
    QWidget* widget() const override { return widget_; }
    std::optional<QString> shownText() const override { return widget_->text(); }
    int neededWidth() const override {
        if constexpr (std::is_same_v<W, QPushButton>) {
            // The text inside the button's frame; a style's least width for
            // buttons is no reason to call a short caption cut off.
            const int bevel = 2 * widget_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            return widget_->fontMetrics().horizontalAdvance(
                       withoutMnemonic(widget_->text().toStdString())) +
                   bevel;
        }
        return widget_->minimumSizeHint().width();
    }

  protected:
    void pullState(ui::Control& c) override {
        const auto& model = static_cast<const M&>(c);
        const QSignalBlocker quiet(widget_);
        widget_->setText(qs(model.caption));
        show_(*widget_, model);
    }

  private:
    W* widget_;
    Show show_;
};

void showButton(QPushButton& widget, const ui::CommandButton& button) {
    widget.setAutoDefault(false);
    widget.setDefault(button.isDefault);
}

void showCheckBox(QCheckBox& widget, const ui::CheckBox& box) {
    widget.setTristate(box.value == 2);
    widget.setCheckState(box.value == 1   ? Qt::Checked
                         : box.value == 2 ? Qt::PartiallyChecked
                                          : Qt::Unchecked);
}

void showOption(QRadioButton& widget, const ui::OptionButton& option) {
    widget.setAutoExclusive(false);
    widget.setChecked(option.value);
}

class TabStripBinder final : public Binder {
  public:
    TabStripBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                   std::function<void()> after)
        : Binder(c, std::move(after)), tabs_(new QTabBar(parent)) {
        tabs_->setElideMode(Qt::ElideNone);
        tabs_->setUsesScrollButtons(false);
        tabs_->setExpanding(false);
        QObject::connect(tabs_, &QTabBar::currentChanged, tabs_, [this](int index) {
            actOn<ui::TabStrip>([index](ui::TabStrip& strip) { strip.select(index + 1); });
        });
        forwardInput(tabs_);
    }
    QWidget* widget() const override { return tabs_; }
    int neededWidth() const override { return tabs_->minimumSizeHint().width(); }

  protected:
    void pullState(ui::Control& c) override {
        const auto& strip = static_cast<ui::TabStrip&>(c);
        const QSignalBlocker quiet(tabs_);
        while (tabs_->count() > static_cast<int>(strip.tabs.size())) tabs_->removeTab(0);
        for (std::size_t i = 0; i < strip.tabs.size(); ++i) {
            const int at = static_cast<int>(i);
            if (at < tabs_->count())
                tabs_->setTabText(at, qs(strip.tabs[i]));
            else
                tabs_->addTab(qs(strip.tabs[i]));
        }
        tabs_->setCurrentIndex(strip.selectedIndex - 1);
    }

  private:
    QTabBar* tabs_;
};

class SliderBinder final : public Binder {
  public:
    SliderBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                 std::function<void()> after)
        : Binder(c, std::move(after)), slider_(new QSlider(Qt::Horizontal, parent)) {
        slider_->setTickPosition(QSlider::TicksBelow);
        QObject::connect(slider_, &QSlider::valueChanged, slider_, [this](int value) {
            actOn<ui::Slider>([value](ui::Slider& slider) { slider.slide(value); });
        });
        forwardInput(slider_);
    }
    QWidget* widget() const override { return slider_; }

  protected:
    void pullState(ui::Control& c) override {
        const auto& slider = static_cast<ui::Slider&>(c);
        const QSignalBlocker quiet(slider_);
        slider_->setRange(slider.min(), slider.max());
        slider_->setSingleStep(slider.smallChange);
        slider_->setPageStep(slider.largeChange);
        slider_->setValue(slider.value());
    }

  private:
    QSlider* slider_;
};

class ProgressBarBinder final : public Binder {
  public:
    ProgressBarBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                      std::function<void()> after)
        : Binder(c, std::move(after)), bar_(new QProgressBar(parent)) {
        bar_->setTextVisible(false);
    }
    QWidget* widget() const override { return bar_; }

  protected:
    void pullState(ui::Control& c) override {
        const auto& bar = static_cast<ui::ProgressBar&>(c);
        bar_->setRange(bar.min(), bar.max());
        bar_->setValue(bar.value());
    }

  private:
    QProgressBar* bar_;
};

// A list view in report mode. A log grows by appending, so lines already on
// screen are kept when the model's list only grew.
class ListViewBinder final : public Binder {
  public:
    ListViewBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent,
                   std::function<void()> after)
        : Binder(c, std::move(after)), tree_(new QTreeWidget(parent)) {
        tree_->setRootIsDecorated(false);
        tree_->setUniformRowHeights(true);
        tree_->setAllColumnsShowFocus(true);
        tree_->header()->setSectionsClickable(true);
        tree_->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(tree_, &QTreeWidget::itemClicked, tree_, [this](QTreeWidgetItem* item) {
            const int row = tree_->indexOfTopLevelItem(item);
            actOn<ui::ListView>([row](ui::ListView& list) {
                if (row >= 0 && static_cast<std::size_t>(row) < list.count())
                    list.clickItem(static_cast<std::size_t>(row));
            });
        });
        QObject::connect(tree_, &QTreeWidget::itemDoubleClicked, tree_, [this] {
            act([](ui::Control& control) {
                if (control.acceptsInput() && control.DblClick) {
                    auto handler = control.DblClick;
                    handler();
                }
            });
        });
        QObject::connect(tree_->header(), &QHeaderView::sectionClicked, tree_, [this](int column) {
            actOn<ui::ListView>([column](ui::ListView& list) {
                list.clickColumn(static_cast<std::size_t>(column) + 1);
            });
        });
        forwardInput(tree_);
        forwardInput(tree_->viewport());
        // Names are edited in place only when the control asks for it, and
        // the editor's end goes to the control: Escape with no text.
        tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        QObject::connect(tree_->itemDelegate(), &QAbstractItemDelegate::closeEditor, tree_,
                         [this](QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
                             keys_->editing = false;
                             std::optional<std::string> typed;
                             if (const auto* line = qobject_cast<QLineEdit*>(editor);
                                 line != nullptr && hint != QAbstractItemDelegate::RevertModelCache)
                                 typed = line->text().toStdString();
                             actOn<ui::ListView>([&typed](ui::ListView& list) {
                                 list.endLabelEdit(std::move(typed));
                             });
                         });
        // Keys the editor passes on (Enter, Insert, ...) are the edit's, not
        // the list's: they go neither to the control nor to the window.
        keys_ = new EditorKeys(tree_);
        tree_->viewport()->installEventFilter(keys_);
    }
    QWidget* widget() const override { return tree_; }

  protected:
    void pullState(ui::Control& c) override {
        if (keys_->editing)
            return;  // the line the user edits stays as it is
        auto& list = static_cast<ui::ListView&>(c);
        const QSignalBlocker quiet(tree_);
        pullColumns(list);
        const auto& items = list.items();
        if (!onlyGrew(items)) {
            tree_->clear();
            shown_.clear();
        }
        for (std::size_t i = 0; i < shown_.size(); ++i)
            fill(*tree_->topLevelItem(int(i)), *items[i]);
        for (std::size_t i = shown_.size(); i < items.size(); ++i) {
            auto* row = new QTreeWidgetItem(tree_);
            fill(*row, *items[i]);
            shown_.push_back(items[i]);
        }
        const int rowHeight = tree_->sizeHintForRow(0);
        if (rowHeight > 0)
            list.visibleRows =
                static_cast<std::size_t>(std::max(1, tree_->viewport()->height() / rowHeight));
        if (list.count() > 0)
            tree_->scrollToItem(tree_->topLevelItem(static_cast<int>(list.topIndex())),
                                QAbstractItemView::PositionAtTop);
        if (const auto at = list.labelEditIndex()) {
            auto* row = tree_->topLevelItem(static_cast<int>(*at));
            row->setFlags(row->flags() | Qt::ItemIsEditable);
            tree_->editItem(row, 0);
            keys_->editing = true;
        }
    }

  private:
    void pullColumns(const ui::ListView& list) {
        QStringList headers;
        for (const auto& column : list.columns) headers << qs(column.text);
        if (tree_->columnCount() != headers.size() ||
            tree_->headerItem()->text(0) != (headers.isEmpty() ? QString() : headers[0])) {
            tree_->setColumnCount(static_cast<int>(std::max<qsizetype>(1, headers.size())));
            tree_->setHeaderLabels(headers);
            const auto& metrics = ui::screenMetrics();
            for (std::size_t i = 0; i < list.columns.size(); ++i)
                tree_->setColumnWidth(static_cast<int>(i),
                                      list.columns[i].width / metrics.twipsPerPixelX);
        }
        tree_->setHeaderHidden(list.columns.empty());
    }

    bool onlyGrew(const std::vector<std::shared_ptr<ui::ListItem>>& items) const {
        if (shown_.size() > items.size())
            return false;
        return shown_.empty() || (items.front() == shown_.front().lock() &&
                                  items[shown_.size() - 1] == shown_.back().lock());
    }

    static void fill(QTreeWidgetItem& row, const ui::ListItem& item) {
        const int columns = std::max(1, row.treeWidget()->columnCount());
        for (int column = 0; column < columns; ++column) {
            const QString text = qs(item.columnText(static_cast<std::size_t>(column) + 1));
            row.setText(column, text);
            // A line the column cuts short reads in full where the mouse rests.
            row.setToolTip(column, text);
        }
        row.setSelected(item.selected);
    }

    // Whether a line is being edited, and the keys that reach the list's
    // viewport meanwhile: those the editor passed on.
    class EditorKeys final : public QObject {
      public:
        using QObject::QObject;
        bool editing = false;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (editing &&
                (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
                event->accept();
                return true;
            }
            return QObject::eventFilter(watched, event);
        }
    };

    QTreeWidget* tree_;
    std::vector<std::weak_ptr<ui::ListItem>> shown_;
    EditorKeys* keys_;
};

// A picture that can be clicked. The forms name their pictures by what they
// mean ("imgOK", "imgStop", "imgLogo"); the view draws the matching icon.
class ImageBinder final : public Binder {
  public:
    ImageBinder(const std::shared_ptr<ui::Control>& c, QWidget* parent, std::function<void()> after)
        : Binder(c, std::move(after)), image_(new QLabel(parent)) {
        const QString name = qs(c->name()).toLower();
        const auto icon = name.contains("stop") ? QStyle::SP_MessageBoxCritical
                          : name.contains("ok") ? QStyle::SP_DialogApplyButton
                                                : QStyle::SP_ComputerIcon;
        image_->setPixmap(QApplication::style()->standardIcon(icon).pixmap(48, 48));
        image_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
        image_->setObjectName("image");
        forwardInput(image_);
        image_->installEventFilter(new InputFilter(
            image_, [](bool, std::int16_t code, std::int16_t) { return code; },
            [this](bool press, std::int16_t button, std::int16_t, float, float) {
                if (!press && button == ui::vbLeftButton)
                    act([](ui::Control& control) { control.click(); });
            }));
    }
    QWidget* widget() const override { return image_; }

  protected:
    void pullState(ui::Control&) override {}

  private:
    QLabel* image_;
};

// Kinds without a widget of their own: the timer runs in the engine's loop,
// menus open through the view, image lists feed other controls.
class NoWidgetBinder final : public Binder {
  public:
    using Binder::Binder;
    QWidget* widget() const override { return nullptr; }

  protected:
    void pullState(ui::Control&) override {}
};

// A control other controls name as their container: its frame shows and
// hides, enables and disables them together. A frame with a border shows
// its caption as the box's title; one without is a plain panel (a page of
// a tab strip).
class FrameBinder final : public Binder {
  public:
    FrameBinder(const std::shared_ptr<ui::Control>& c, QWidget* frame)
        : Binder(c, {}), frame_(frame), box_(qobject_cast<QGroupBox*>(frame)) {}
    QWidget* widget() const override { return frame_; }
    std::optional<QString> shownText() const override {
        if (box_ == nullptr)
            return std::nullopt;
        return box_->title();
    }
    int neededWidth() const override {
        if (box_ == nullptr || box_->title().isEmpty())
            return 0;
        // The title sits between the corners of the box's line.
        const int corners = 2 * box_->style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
        return box_->fontMetrics().horizontalAdvance(withoutMnemonic(box_->title().toStdString())) +
               corners;
    }
    int insideTop() const override {
        if (box_ == nullptr || box_->title().isEmpty())
            return 0;
        // The style's inside of the box, below its title and line, and a
        // gap so that a control there does not touch the line.
        QStyleOptionGroupBox option;
        option.initFrom(box_);
        option.text = box_->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect inside = box_->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxContents, box_);
        return inside.top() + box_->style()->pixelMetric(QStyle::PM_LayoutTopMargin) / 2;
    }

  protected:
    void pullState(ui::Control& c) override {
        if (const auto* frame = dynamic_cast<const ui::Frame*>(&c); frame && box_ != nullptr)
            box_->setTitle(qs(frame->caption));
    }

  private:
    QWidget* frame_;
    QGroupBox* box_;
};

}  // namespace

std::unique_ptr<Binder> bindFrame(const std::shared_ptr<ui::Control>& control, QWidget* frame) {
    return std::make_unique<FrameBinder>(control, frame);
}

Binder::Binder(const std::shared_ptr<ui::Control>& control, std::function<void()> afterAction)
    : control_(control), afterAction_(std::move(afterAction)) {}

void Binder::pull() {
    const auto c = control_.lock();
    QWidget* w = widget();
    if (!c || w == nullptr)
        return;
    w->setEnabled(c->enabled);
    w->setVisible(c->visible);
    if (const auto tip = ui::toolTips().find(*c)) {
        // A balloon: its title in bold above the text.
        QString html =
            tip->title.empty() ? QString() : "<b>" + qs(tip->title).toHtmlEscaped() + "</b><br>";
        html += qs(tip->text).toHtmlEscaped();
        w->setToolTip(html);
        w->setToolTipDuration(tip->visibleTime);
    } else {
        w->setToolTip(qs(c->toolTipText));
    }
    pullState(*c);
}

void Binder::act(const std::function<void(ui::Control&)>& action) {
    const auto c = control_.lock();
    if (!c)
        return;
    try {
        action(*c);
    } catch (const platform::RuntimeError& e) {
        std::cerr << "kolvanex-gui: " << c->name() << ": " << e.description << " (" << e.number
                  << ")\n";
    } catch (const std::exception& e) {
        std::cerr << "kolvanex-gui: " << c->name() << ": " << e.what() << "\n";
    }
    if (afterAction_)
        afterAction_();
}

void Binder::forwardInput(QWidget* target) {
    target->installEventFilter(new InputFilter(
        target,
        [this](bool press, std::int16_t code, std::int16_t shift) {
            std::int16_t left = code;
            act([&left, press, shift](ui::Control& control) {
                if (press)
                    left = control.keyDown(left, shift);
                else
                    control.keyUp(left, shift);
            });
            return left;
        },
        [this](bool press, std::int16_t button, std::int16_t shift, float x, float y) {
            if (button == 0)
                return;
            act([=](ui::Control& control) {
                if (press)
                    control.mouseDown(button, shift, x, y);
                else
                    control.mouseUp(button, shift, x, y);
            });
        },
        [this](bool gained) {
            // The focused control is what the engine asks for (Selex); its
            // focus events fire as the user moves the focus.
            const auto c = control_.lock();
            if (!c)
                return;
            if (gained)
                ui::setFocusedControl(c.get());
            else if (ui::focusedControl() == c.get())
                ui::setFocusedControl(nullptr);
            const auto& handler = gained ? c->GotFocus : c->LostFocus;
            if (handler)
                act([handler](ui::Control&) {
                    auto copy = handler;
                    copy();
                });
        }));
}

std::unique_ptr<Binder> bindControl(const std::shared_ptr<ui::Control>& control, QWidget* parent,
                                    std::function<void()> afterAction) {
    auto* c = control.get();
    auto after = std::move(afterAction);
    if (dynamic_cast<ui::Label*>(c))
        return std::make_unique<LabelBinder>(control, parent, after);
    if (dynamic_cast<ui::TextBox*>(c))
        return std::make_unique<TextBoxBinder>(control, parent, after);
    if (dynamic_cast<ui::ComboBox*>(c))
        return std::make_unique<ComboBoxBinder>(control, parent, after);
    if (dynamic_cast<ui::CommandButton*>(c))
        return std::make_unique<ClickBinder<QPushButton, ui::CommandButton>>(control, parent, after,
                                                                             showButton);
    if (dynamic_cast<ui::CheckBox*>(c))
        return std::make_unique<ClickBinder<QCheckBox, ui::CheckBox>>(control, parent, after,
                                                                      showCheckBox);
    if (dynamic_cast<ui::OptionButton*>(c))
        return std::make_unique<ClickBinder<QRadioButton, ui::OptionButton>>(control, parent, after,
                                                                             showOption);
    if (dynamic_cast<ui::TabStrip*>(c))
        return std::make_unique<TabStripBinder>(control, parent, after);
    if (dynamic_cast<ui::Slider*>(c))
        return std::make_unique<SliderBinder>(control, parent, after);
    if (dynamic_cast<ui::ProgressBar*>(c))
        return std::make_unique<ProgressBarBinder>(control, parent, after);
    if (dynamic_cast<ui::ListView*>(c))
        return std::make_unique<ListViewBinder>(control, parent, after);
    if (const auto* frame = dynamic_cast<ui::Frame*>(c)) {
        QWidget* holder = frame->border ? new QGroupBox(parent) : new QWidget(parent);
        return std::make_unique<FrameBinder>(control, holder);
    }
    if (c->typeName() == "Image")
        return std::make_unique<ImageBinder>(control, parent, after);
    if (dynamic_cast<ui::Timer*>(c) || dynamic_cast<ui::Menu*>(c) ||
        dynamic_cast<ui::ImageList*>(c))
        return std::make_unique<NoWidgetBinder>(control, after);
    return nullptr;
}

void addMenuItems(QMenu& target, const ui::Menu& menu) {
    for (const auto& item : menu.items) {
        if (!item->visible)
            continue;
        if (item->caption == "-") {
            target.addSeparator();
        } else if (!item->items.empty()) {
            addMenuItems(*target.addMenu(qs(item->caption)), *item);
        } else {
            auto* action = target.addAction(qs(item->caption));
            action->setEnabled(item->enabled);
            action->setCheckable(item->checked);
            action->setChecked(item->checked);
            std::weak_ptr<ui::Menu> weak = item;
            QObject::connect(action, &QAction::triggered, action, [weak] {
                if (auto live = weak.lock())
                    live->click();
            });
        }
    }
}

QString withoutMnemonic(const std::string& caption) {
    QString out;
    const QString text = qs(caption);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

std::int16_t keyCode(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<std::int16_t>(qtKey);  // the same codes
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return static_cast<std::int16_t>(ui::vbKeyF1 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return ui::vbKeyTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ui::vbKeyReturn;
        case Qt::Key_Escape:
            return ui::vbKeyEscape;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Menu:
            return ui::vbKeyApps;
        default:
            return 0;
    }
}

std::int16_t shiftState(Qt::KeyboardModifiers modifiers) {
    std::int16_t shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ui::vbShiftMask;
    if (modifiers & Qt::ControlModifier)
        shift |= ui::vbCtrlMask;
    if (modifiers & Qt::AltModifier)
        shift |= ui::vbAltMask;
    return shift;
}

}  // namespace kx::views
