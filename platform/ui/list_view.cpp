// The ListView control: items with sub-items, selection and sorting.
#include <algorithm>
#include <utility>

#include "platform/runtime/text.hpp"
#include "platform/ui/control_events.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {
using namespace detail;
namespace {

const std::string& noText() {
    static const std::string empty;
    return empty;
}

}  // namespace

ListItem::Extras& ListItem::extras() {
    if (!extras_)
        extras_ = std::make_unique<Extras>();
    return *extras_;
}

std::string ListItem::columnText(std::size_t column) const {
    if (column <= 1)
        return text;
    if (!extras_ || column - 2 >= extras_->subItems.size())
        return {};
    return extras_->subItems[column - 2];
}

void ListItem::setSubItem(std::size_t n, std::string value) {
    if (n == 0)
        invalidValue();
    auto& subItems = extras().subItems;
    if (subItems.size() < n)
        subItems.resize(n);
    subItems[n - 1] = std::move(value);
}

const std::string& ListItem::tag() const {
    return extras_ ? extras_->tag : noText();
}

void ListItem::setTag(std::string value) {
    if (!value.empty() || extras_)
        extras().tag = std::move(value);
}

const std::string& ListItem::key() const {
    return extras_ ? extras_->key : noText();
}

void ListItem::setKey(std::string value) {
    if (!value.empty() || extras_)
        extras().key = std::move(value);
}

void ListView::addColumn(std::string text, std::int32_t columnWidth) {
    columns.push_back({std::move(text), columnWidth});
    refresh();
}

void ListView::checkIndex(std::size_t index, std::size_t limit) const {
    if (index >= limit)
        throw RuntimeError{kIndexOutOfBounds,
                           std::string(tr("Index außerhalb des gültigen Bereichs"))};
}

const std::shared_ptr<ListItem>& ListView::item(std::size_t index) const {
    checkIndex(index, items_.size());
    return items_[index];
}

bool ListView::before(const ListItem& a, const ListItem& b) const {
    const auto ka = vbLCase(a.columnText(sortKey_ + 1));
    const auto kb = vbLCase(b.columnText(sortKey_ + 1));
    return sortOrder_ == SortOrder::Ascending ? ka < kb : kb < ka;
}

std::shared_ptr<ListItem> ListView::add(std::string text) {
    auto item = std::make_shared<ListItem>(std::move(text));
    if (sorted_) {
        // After its equals, so that equal keys keep their arrival order.
        const auto at =
            std::upper_bound(items_.begin(), items_.end(), item,
                             [this](const auto& a, const auto& b) { return before(*a, *b); });
        items_.insert(at, item);
    } else {
        items_.push_back(item);
    }
    refresh();
    return item;
}

std::shared_ptr<ListItem> ListView::insert(std::size_t index, std::string text) {
    checkIndex(index, items_.size() + 1);
    if (sorted_)
        return add(std::move(text));
    auto item = std::make_shared<ListItem>(std::move(text));
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), item);
    refresh();
    return item;
}

void ListView::remove(std::size_t index) {
    checkIndex(index, items_.size());
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    topIndex_ = std::min(topIndex_, items_.empty() ? 0 : items_.size() - 1);
    refresh();
}

void ListView::clear() {
    items_.clear();
    topIndex_ = 0;
    refresh();
}

std::optional<std::size_t> ListView::selectedIndex() const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i]->selected)
            return i;
    }
    return std::nullopt;
}

std::shared_ptr<ListItem> ListView::selectedItem() const {
    const auto index = selectedIndex();
    return index ? items_[*index] : nullptr;
}

void ListView::select(std::size_t index) {
    checkIndex(index, items_.size());
    if (!multiSelect) {
        for (const auto& other : items_) other->selected = false;
    }
    items_[index]->selected = true;
    refresh();
}

void ListView::ensureVisible(std::size_t index) {
    checkIndex(index, items_.size());
    const std::size_t rows = std::max<std::size_t>(visibleRows, 1);
    if (index < topIndex_) {
        topIndex_ = index;
    } else if (index >= topIndex_ + rows) {
        topIndex_ = index - rows + 1;
    }
    refresh();
}

void ListView::sortNow() {
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const auto& a, const auto& b) { return before(*a, *b); });
}

void ListView::setSorted(bool on) {
    sorted_ = on;
    if (on)
        sortNow();
    refresh();
}

void ListView::setSortKey(std::size_t key) {
    sortKey_ = key;
    if (sorted_)
        sortNow();
    refresh();
}

void ListView::setSortOrder(SortOrder order) {
    sortOrder_ = order;
    if (sorted_)
        sortNow();
    refresh();
}

void ListView::clickItem(std::size_t index) {
    if (!acceptsInput())
        return;
    select(index);
    const auto item = items_[index];  // the handler may remove it
    fireWith(ItemClick, *item);
    fire(Click);
}

void ListView::clickColumn(std::size_t column) {
    if (acceptsInput())
        fireWith(ColumnClick, column);
}

void ListView::startLabelEdit() {
    const auto item = selectedItem();
    if (!item || !acceptsInput())
        return;
    editing_ = item;
    refresh();
}

std::optional<std::size_t> ListView::labelEditIndex() const {
    if (editing_) {
        const auto at = std::find(items_.begin(), items_.end(), editing_);
        if (at != items_.end())
            return static_cast<std::size_t>(at - items_.begin());
    }
    return std::nullopt;
}

void ListView::endLabelEdit(std::optional<std::string> typed) {
    // The edit is over before the handler runs, so that it sees the list
    // as no longer editing.
    const auto item = std::exchange(editing_, nullptr);
    const bool listed = item && std::find(items_.begin(), items_.end(), item) != items_.end();
    if (listed && typed) {
        bool cancel = false;
        fireWith(AfterLabelEdit, cancel, *typed);
        if (!cancel)
            item->text = std::move(*typed);
    }
    refresh();
}

}  // namespace kx::platform::ui
