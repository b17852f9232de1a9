// How a data provider's items are drawn and measured.
#include "widgets/hover/hx_data_renderers.h"

#include "classlib/format.h"

namespace hover {

using namespace classlib;

HX_DEFINE_CLASS(THxBaseDataItemsRenderer, THxDataItemsAggregatedObject, &HxNotMadeByName)
HX_DEFINE_CLASS(THxCustomDataItemsTextRenderer, THxBaseDataItemsRenderer,
                (&HxMakeFor<THxCustomDataItemsTextRenderer, THxBaseDataItems>))

// ---- Drawing objects -----------------------------------------------------------------------------

std::string THxDP_ProviderTextOnlyRender::Text() const {
    if (IHxDataItemText* text = Supports<IHxDataItemText>(Item())) return text->Caption();
    return "(item does not support the IHxDataItemText interface)";
}

void THxDP_ProviderTextOnlyRender::DoDraw(RECT& Rect) {
    TCanvas* canvas = Canvas();
    const TColor brush = canvas->Brush()->Color();
    const TColor font = canvas->Font()->Color();
    if ((State() & pdsSelected) != 0) {
        canvas->Brush()->SetColor(clHighlight);
        canvas->Font()->SetColor(clHighlightText);
    }
    if ((State() & (pdsDisabled | pdsGrayed)) != 0) canvas->Font()->SetColor(clGrayText);
    canvas->TextRect(Rect, Rect.left, Rect.top, Text());
    canvas->Brush()->SetColor(brush);
    canvas->Font()->SetColor(font);
}

SIZE THxDP_ProviderTextOnlyRender::DoMeasure() { return Canvas()->TextExtent(Text()); }

// ---- Item-list renderers -------------------------------------------------------------------------

void* THxBaseDataItemsRenderer::QueryOwnRole(const GUID& Role) {
    return IsEqualGUID(Role, IID_IHxDataItemsRenderer) ? static_cast<IHxDataItemsRenderer*>(this) : nullptr;
}

IHxDataItem* THxBaseDataItemsRenderer::ItemAt(int Index) {
    if (Index < 0 || Index >= Items()->Count()) throw EHXLDataItems(Format(L"List index out of bounds (%d)", {Index}));
    return Items()->Item(Index);
}

void THxBaseDataItemsRenderer::DrawItemByIndex(TCanvas* Canvas, RECT& Rect, int Index, THxProviderDrawStates State) {
    DrawItem(Canvas, Rect, ItemAt(Index), State);
}

SIZE THxBaseDataItemsRenderer::MeasureItemByIndex(TCanvas* Canvas, int Index) { return MeasureItem(Canvas, ItemAt(Index)); }

void THxBaseDataItemsRenderer::DrawItem(TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) {
    if (IHxDataItemRenderer* own = Supports<IHxDataItemRenderer>(Item))
        own->Draw(Canvas, Rect, State);
    else
        DoDrawItem(Canvas, Rect, Item, State);
}

SIZE THxBaseDataItemsRenderer::MeasureItem(TCanvas* Canvas, IHxDataItem* Item) {
    if (IHxDataItemRenderer* own = Supports<IHxDataItemRenderer>(Item)) return own->Measure(Canvas);
    return DoMeasureItem(Canvas, Item);
}

void THxCustomDataItemsTextRenderer::DoDrawItem(TCanvas* Canvas, RECT& Rect, IHxDataItem* Item, THxProviderDrawStates State) {
    THxDP_ProviderTextOnlyRender(Item, Canvas, State).Render(Rect);
}

SIZE THxCustomDataItemsTextRenderer::DoMeasureItem(TCanvas* Canvas, IHxDataItem* Item) {
    return THxDP_ProviderTextOnlyRender(Item, Canvas, 0).Measure();
}

SIZE THxCustomDataItemsTextRenderer::DoAvgItemSize(TCanvas* Canvas) { return Canvas->TextExtent("WyWyWyWyWyWyWyWyWyWy"); }

}  // namespace hover
