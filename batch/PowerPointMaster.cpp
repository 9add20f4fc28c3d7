#include "PowerPointMaster.h"

#include "EngineCall.h"
#include "util/AppError.h"

namespace trelwick {

PowerPointHeaderFooter::PowerPointHeaderFooter(engine::Presentation& deck, engine::MasterKind kind,
                                               engine::Element element)
    : deck_(&deck), kind_(kind), element_(element) {}

QString PowerPointHeaderFooter::Text() const {
    return callEngine([&] { return QString::fromStdString(deck_->element(kind_, element_).text); });
}

void PowerPointHeaderFooter::setText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    callEngine([&] { deck_->setText(kind_, element_, std::string_view(utf8.constData(), utf8.size())); });
}

int PowerPointHeaderFooter::Visible() const {
    return callEngine([&] { return deck_->element(kind_, element_).visible ? msoTrue : msoFalse; });
}

void PowerPointHeaderFooter::setVisible(int value) {
    callEngine([&] { deck_->setVisible(kind_, element_, value != msoFalse); });
}

int PowerPointHeaderFooter::UseFormat() const {
    return callEngine([&] { return deck_->element(kind_, element_).useFormat ? msoTrue : msoFalse; });
}

void PowerPointHeaderFooter::setUseFormat(int value) {
    callEngine([&] { deck_->setUseFormat(kind_, element_, value != msoFalse); });
}

int PowerPointHeaderFooter::Format() const {
    return callEngine([&] { return deck_->element(kind_, element_).format; });
}

void PowerPointHeaderFooter::setFormat(int format) {
    callEngine([&] { deck_->setFormat(kind_, element_, format); });
}

PowerPointHeadersFooters::PowerPointHeadersFooters(engine::Presentation& deck, engine::MasterKind kind)
    : deck_(&deck), kind_(kind) {}

PowerPointHeaderFooter PowerPointHeadersFooters::element(engine::Element element) const {
    if (!engine::Presentation::hasElement(kind_, element)) {
        throw AppError(kInvalidCall, QStringLiteral("This master has no such header or footer element."));
    }
    return PowerPointHeaderFooter(*deck_, kind_, element);
}

PowerPointHeaderFooter PowerPointHeadersFooters::DateAndTime() const {
    return element(engine::Element::DateAndTime);
}
PowerPointHeaderFooter PowerPointHeadersFooters::Footer() const {
    return element(engine::Element::Footer);
}
PowerPointHeaderFooter PowerPointHeadersFooters::Header() const {
    return element(engine::Element::Header);
}
PowerPointHeaderFooter PowerPointHeadersFooters::SlideNumber() const {
    return element(engine::Element::SlideNumber);
}

PowerPointMaster::PowerPointMaster(engine::Presentation& deck, engine::MasterKind kind)
    : deck_(&deck), kind_(kind) {}

PowerPointHeadersFooters PowerPointMaster::HeadersFooters() const {
    return PowerPointHeadersFooters(*deck_, kind_);
}

}  // namespace trelwick
