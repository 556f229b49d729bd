#include "face_accessibility.h"

#include <QFontMetricsF>
#include <QLineEdit>

#include <algorithm>
#include <array>
#include <utility>

#include "face_painter.h"
#include "key_translation.h"
#include "picture1.h"

namespace opstation::face {
namespace {

QString fromView(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// A control that Picture1 paints: it has no widget, so no object, and lives
// as long as Picture1's interface, which owns it through Qt's cache.
class PaintedChild : public QAccessibleInterface {
public:
    PaintedChild(const Picture1Accessible &parent, const Control &control) : parent_(parent), control_(control) {}

    bool isValid() const override { return parent_.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return parent_.window(); }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return const_cast<Picture1Accessible *>(&parent_); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override { return parent_.screenRect(control_); }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? fromView(control_.spokenName) : describe(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = parent_.state().invisible;
        return s;
    }

protected:
    virtual QString describe(QAccessible::Text) const { return {}; }
    Picture1 &picture() const { return *parent_.picture(); }

    const Picture1Accessible &parent_;
    const Control &control_;
};

class KeyChild final : public PaintedChild, public QAccessibleActionInterface {
public:
    using PaintedChild::PaintedChild;

    QAccessible::Role role() const override { return QAccessible::Button; }
    void *interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override {
        if (action == pressAction() && isValid()) picture().tap(*control_.key);
    }
    QStringList keyBindingsForAction(const QString &action) const override {
        return action == pressAction() ? pcKeyNamesFor(*control_.key) : QStringList{};
    }
};

// Static text without selection or caret; what it holds is the line as
// spoken, measured in the display font for character rectangles.
class DisplayLineChild final : public PaintedChild, public QAccessibleTextInterface {
public:
    using PaintedChild::PaintedChild;

    using PaintedChild::text;

    QAccessible::Role role() const override { return QAccessible::StaticText; }
    void *interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface *>(this) : nullptr;
    }

    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void scrollToSubstring(int, int) override {}

    QString text(int start, int end) const override { return spoken().mid(start, end - start); }
    int characterCount() const override { return int(spoken().size()); }
    QString attributes(int, int *start, int *end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    QRect characterRect(int offset) const override {
        const QString line = spoken();
        if (offset < 0 || offset >= line.size()) return {};
        const QFontMetricsF metrics(toQFont(control_.font));
        const QRect label = rect();
        const double left = metrics.horizontalAdvance(line.left(offset));
        return QRectF(label.left() + left, label.top(), metrics.horizontalAdvance(line.at(offset)), label.height())
            .toAlignedRect();
    }
    int offsetAtPoint(const QPoint &point) const override {
        for (int i = 0; i < characterCount(); ++i) {
            if (characterRect(i).contains(point)) return i;
        }
        return -1;
    }

private:
    QString describe(QAccessible::Text t) const override { return t == QAccessible::Value ? spoken() : QString(); }
    QString spoken() const { return spokenLine(picture().line(control_.displayLine)); }
};

class LedChild final : public PaintedChild {
public:
    using PaintedChild::PaintedChild;

    QAccessible::Role role() const override { return QAccessible::StaticText; }

private:
    QString describe(QAccessible::Text t) const override {
        if (t != QAccessible::Description && t != QAccessible::Value) return {};
        return spokenShowing(picture().ledShowing(*control_.led));
    }
};

// Reading order: rows from the top, left to right within a row. Controls
// whose tops lie in the same band of a third of an inch read as one row, so
// a key set a little lower than its neighbours still reads with them.
constexpr int kRowBand = 480;  // twips

std::pair<int, int> readingPlace(const Control &c) { return {c.rect.top / kRowBand, c.rect.left}; }

constexpr std::array<const char *, 3> kShowingWords = {"off", "on", "flashing"};

QAccessibleInterface *newChild(const Picture1Accessible &parent, const Control &control) {
    if (control.key) return new KeyChild(parent, control);
    if (control.led) return new LedChild(parent, control);
    return new DisplayLineChild(parent, control);
}

QAccessibleInterface *picture1Factory(const QString &className, QObject *object) {
    if (className != QLatin1String("Picture1")) return nullptr;
    auto *picture = qobject_cast<Picture1 *>(object);
    return picture != nullptr ? new Picture1Accessible(picture) : nullptr;
}

}  // namespace

void installAccessibility() {
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(picture1Factory), true);
}

QString spokenLine(std::u16string_view line) {
    QString text = shownText(line);
    while (text.endsWith(QLatin1Char(' '))) text.chop(1);
    return text;
}

QString spokenShowing(LedShowing showing) {
    return QString::fromLatin1(kShowingWords[static_cast<std::size_t>(showing)]);
}

Picture1Accessible::Picture1Accessible(Picture1 *picture) : QAccessibleWidget(picture, QAccessible::Pane) {
    for (const Control &c : controls()) {
        if (c.kind == Kind::textBox) {
            children_.push_back({&c, 0});
        } else if (!c.spokenName.empty()) {
            children_.push_back({&c, QAccessible::registerAccessibleInterface(newChild(*this, c))});
        }
    }
    std::stable_sort(children_.begin(), children_.end(), [](const Child &a, const Child &b) {
        return readingPlace(*a.control) < readingPlace(*b.control);
    });
    // The interface and its children go before the members of Picture1 they read.
    watching_ = {
        QObject::connect(picture, &Picture1::lineChanged, picture,
                         [this](int line, const QString &before) { lineChanged(line, before); }),
        QObject::connect(picture, &Picture1::ledShowingChanged, picture,
                         [this](int led) { ledShowingChanged(static_cast<Led>(led)); }),
        QObject::connect(picture, &Picture1::going, picture,
                         [this] { QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(this)); }),
    };
}

Picture1Accessible::~Picture1Accessible() {
    for (const QMetaObject::Connection &connection : watching_) QObject::disconnect(connection);
    for (const Child &c : children_) {
        if (c.id != 0) QAccessible::deleteAccessibleInterface(c.id);
    }
}

Picture1 *Picture1Accessible::picture() const { return static_cast<Picture1 *>(widget()); }

QAccessibleInterface *Picture1Accessible::interfaceOf(const Child &child) const {
    if (child.id != 0) return QAccessible::accessibleInterface(child.id);
    return QAccessible::queryAccessibleInterface(picture()->text1());
}

QAccessibleInterface *Picture1Accessible::childFor(const Control &control) const {
    auto it = std::find_if(children_.begin(), children_.end(), [&](const Child &c) { return c.control == &control; });
    return it == children_.end() ? nullptr : interfaceOf(*it);
}

int Picture1Accessible::childCount() const { return int(children_.size()); }

QAccessibleInterface *Picture1Accessible::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    return interfaceOf(children_[static_cast<std::size_t>(index)]);
}

int Picture1Accessible::indexOfChild(const QAccessibleInterface *child) const {
    for (int i = 0; i < childCount(); ++i) {
        if (this->child(i) == child) return i;
    }
    return -1;
}

// Text1 is a window above every painted control; among those, the face's
// stacking order decides.
QAccessibleInterface *Picture1Accessible::childAt(int x, int y) const {
    const QPoint point(x, y);
    if (QAccessibleInterface *text1 = childFor(*find("Text1")); text1 && text1->rect().contains(point)) return text1;
    for (const Control *c : stacked(Container::picture1)) {
        if (!c->spokenName.empty() && screenRect(*c).contains(point)) return childFor(*c);
    }
    return nullptr;
}

QRect Picture1Accessible::screenRect(const Control &control) const {
    const QRect local = logical(control.rect).toRect();
    return QRect(picture()->mapToGlobal(local.topLeft()), local.size());
}

void Picture1Accessible::lineChanged(int line, const QString &before) {
    const QString spokenBefore = spokenLine(std::u16string_view(reinterpret_cast<const char16_t *>(before.utf16()), std::size_t(before.size())));
    const QString after = spokenLine(picture()->line(line));
    if (after == spokenBefore) return;
    QAccessibleTextUpdateEvent event(childFor(displayLabel(line)), 0, spokenBefore, after);
    QAccessible::updateAccessibility(&event);
}

void Picture1Accessible::ledShowingChanged(Led led) {
    QAccessibleEvent event(childFor(control(led)), QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

}  // namespace opstation::face
