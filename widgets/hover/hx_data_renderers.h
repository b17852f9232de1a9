// How a data provider's items are drawn and measured: the item-list renderer's base (by index or
// by item, an item's own renderer first), the text renderer, and the drawing objects it uses.
#pragma once

#include <string>

#include "widgets/hover/hx_data_items.h"

namespace hover {

// Draws or measures one item on a canvas in a drawing state.
class THxDP_ProviderBaseRender : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(THxDP_ProviderBaseRender)
    THxDP_ProviderBaseRender(IHxDataItem* Item, classlib::TCanvas* Canvas, THxProviderDrawStates State)
        : item_(Item), canvas_(Canvas), state_(State) {}
    void Render(RECT& Rect) { DoDraw(Rect); }
    SIZE Measure() { return DoMeasure(); }
    IHxDataItem* Item() const { return item_; }
    classlib::TCanvas* Canvas() const { return canvas_; }
    THxProviderDrawStates State() const { return state_; }

protected:
    virtual void DoDraw(RECT& Rect) = 0;
    virtual SIZE DoMeasure() = 0;

private:
    IHxDataItem* item_;
    classlib::TCanvas* canvas_;
    THxProviderDrawStates state_;
};

// The item's caption as text: highlighted when selected, grey when disabled; an item without a
// caption shows what it lacks.
class THxDP_ProviderTextOnlyRender : public THxDP_ProviderBaseRender {
public:
    CLASSLIB_CLASS_NAME(THxDP_ProviderTextOnlyRender)
    using THxDP_ProviderBaseRender::THxDP_ProviderBaseRender;
    std::string Text() const;

protected:
    void DoDraw(RECT& Rect) override;
    SIZE DoMeasure() override;
};

// Draws and measures the items of its list; an index outside the list raises EHXLDataItems
// "List index out of bounds (%d)". An item with a renderer of its own draws itself.
class THxBaseDataItemsRenderer : public THxDataItemsAggregatedObject, public IHxDataItemsRenderer {
public:
    HX_CLASS(THxBaseDataItemsRenderer)
    using THxDataItemsAggregatedObject::THxDataItemsAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemsAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override;

    void DrawItemByIndex(classlib::TCanvas* Canvas, RECT& Rect, int Index, THxProviderDrawStates State) override;
    SIZE MeasureItemByIndex(classlib::TCanvas* Canvas, int Index) override;
    void DrawItem(classlib::TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) override;
    SIZE MeasureItem(classlib::TCanvas* Canvas, IHxDataItem* Item) override;
    SIZE AvgItemSize(classlib::TCanvas* Canvas) override { return DoAvgItemSize(Canvas); }

protected:
    virtual void DoDrawItem(classlib::TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) = 0;
    virtual SIZE DoMeasureItem(classlib::TCanvas* Canvas, IHxDataItem* Item) = 0;
    virtual SIZE DoAvgItemSize(classlib::TCanvas* Canvas) = 0;

private:
    IHxDataItem* ItemAt(int Index);
};

// Items as their captions; the average size is that of "WyWyWyWyWyWyWyWyWyWy".
class THxCustomDataItemsTextRenderer : public THxBaseDataItemsRenderer {
public:
    HX_CLASS(THxCustomDataItemsTextRenderer)
    using THxBaseDataItemsRenderer::THxBaseDataItemsRenderer;

protected:
    void DoDrawItem(classlib::TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) override;
    SIZE DoMeasureItem(classlib::TCanvas* Canvas, IHxDataItem* Item) override;
    SIZE DoAvgItemSize(classlib::TCanvas* Canvas) override;
};

}  // namespace hover
