#pragma once

#include <QString>

#include "trelwick/engine.h"

namespace trelwick {

// PowerPoint's tri-state values as the automation members take them.
constexpr int msoTrue = -1;
constexpr int msoFalse = 0;

// One header/footer element of one master (PowerPoint's HeaderFooter). A handle: it refers to the
// presentation it came from and is valid while that presentation is open.
class PowerPointHeaderFooter {
  public:
    PowerPointHeaderFooter(engine::Presentation& deck, engine::MasterKind kind, engine::Element element);

    QString Text() const;
    void setText(const QString& text);
    // msoTrue when shown, msoFalse when hidden; any non-zero value shows the element.
    int Visible() const;
    void setVisible(int value);
    int UseFormat() const;
    void setUseFormat(int value);
    // A date format 1..13; other values fail like an invalid call.
    int Format() const;
    void setFormat(int format);

  private:
    engine::Presentation* deck_;
    engine::MasterKind kind_;
    engine::Element element_;
};

// The elements of one master (PowerPoint's HeadersFooters). Asking for an element the master does
// not have (a header on slides) fails like an invalid call.
class PowerPointHeadersFooters {
  public:
    PowerPointHeadersFooters(engine::Presentation& deck, engine::MasterKind kind);

    PowerPointHeaderFooter DateAndTime() const;
    PowerPointHeaderFooter Footer() const;
    PowerPointHeaderFooter Header() const;
    PowerPointHeaderFooter SlideNumber() const;

  private:
    PowerPointHeaderFooter element(engine::Element element) const;

    engine::Presentation* deck_;
    engine::MasterKind kind_;
};

// A master of a presentation (slide, notes or handout master). The slide master stands for every
// slide master of the deck, so that every slide is stamped.
class PowerPointMaster {
  public:
    PowerPointMaster(engine::Presentation& deck, engine::MasterKind kind);

    PowerPointHeadersFooters HeadersFooters() const;

  private:
    engine::Presentation* deck_;
    engine::MasterKind kind_;
};

}  // namespace trelwick
