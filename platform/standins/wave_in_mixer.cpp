#include "platform/standins/wave_in_mixer.h"

#include <algorithm>
#include <cmath>

namespace standins {

namespace {

bool FindControl(HMIXER mixer, DWORD lineId, DWORD type, MIXERCONTROLW& control)
{
    MIXERLINECONTROLSW lc{};
    lc.cbStruct = sizeof(lc);
    lc.dwLineID = lineId;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof(control);
    lc.pamxctrl = &control;
    control.cbStruct = sizeof(control);
    return mixerGetLineControlsW(reinterpret_cast<HMIXEROBJ>(mixer), &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
           MMSYSERR_NOERROR;
}

MMRESULT Details(HMIXER mixer, DWORD controlId, DWORD items, void* values, DWORD valueSize, bool set, DWORD flags)
{
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof(d);
    d.dwControlID = controlId;
    d.cChannels = 1;
    d.cMultipleItems = items;
    d.cbDetails = valueSize;
    d.paDetails = values;
    auto obj = reinterpret_cast<HMIXEROBJ>(mixer);
    return set ? mixerSetControlDetails(obj, &d, flags) : mixerGetControlDetails(obj, &d, flags);
}

}  // namespace

TWaveInMixer::TWaveInMixer(UINT device)
{
    MIXERLINEW line{};
    // Opens mixer id (as flags name it) when it has a recording line, into line.
    auto open = [&](UINT id, DWORD flags) {
        if (mixerOpen(&mixer_, id, 0, 0, flags) != MMSYSERR_NOERROR) {
            mixer_ = nullptr;
            return false;
        }
        line = MIXERLINEW{};
        line.cbStruct = sizeof(line);
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        if (mixerGetLineInfoW(reinterpret_cast<HMIXEROBJ>(mixer_), &line, MIXER_GETLINEINFOF_COMPONENTTYPE) ==
            MMSYSERR_NOERROR) {
            return true;
        }
        mixerClose(mixer_);
        mixer_ = nullptr;
        return false;
    };
    // Wine answers the mixer of a waveIn id with the wrong device (an output's) for most inputs:
    // the input's mixer is then the one of its name that has a recording line.
    if (!open(device, MIXER_OBJECTF_WAVEIN)) {
        WAVEINCAPSW in{};
        if (waveInGetDevCapsW(device, &in, sizeof(in)) != MMSYSERR_NOERROR) {
            return;
        }
        const UINT count = mixerGetNumDevs();
        for (UINT id = 0; id < count && mixer_ == nullptr; ++id) {
            MIXERCAPSW caps{};
            if (mixerGetDevCapsW(id, &caps, sizeof(caps)) == MMSYSERR_NOERROR &&
                std::wstring(caps.szPname) == in.szPname) {
                open(id, MIXER_OBJECTF_MIXER);
            }
        }
        if (mixer_ == nullptr) {
            return;
        }
    }
    destination_.LineId = line.dwLineID;
    destination_.Name = line.szName;
    ReadControls(destination_);
    for (DWORD s = 0; s < line.cConnections; ++s) {
        MIXERLINEW source{};
        source.cbStruct = sizeof(source);
        source.dwDestination = line.dwDestination;
        source.dwSource = s;
        if (mixerGetLineInfoW(reinterpret_cast<HMIXEROBJ>(mixer_), &source, MIXER_GETLINEINFOF_SOURCE) !=
            MMSYSERR_NOERROR) {
            continue;
        }
        TLine entry;
        entry.LineId = source.dwLineID;
        entry.Name = source.szName;
        ReadControls(entry);
        lines_.push_back(std::move(entry));
    }
    // The selector names its items by the source lines they choose.
    MIXERCONTROLW selector{};
    if (FindControl(mixer_, destination_.LineId, MIXERCONTROL_CONTROLTYPE_MUX, selector)) {
        singleSelect_ = true;
    } else if (!FindControl(mixer_, destination_.LineId, MIXERCONTROL_CONTROLTYPE_MIXER, selector)) {
        selector.cMultipleItems = 0;
    }
    if (selector.cMultipleItems > 0 && selector.cMultipleItems < 256) {
        std::vector<MIXERCONTROLDETAILS_LISTTEXTW> items(selector.cMultipleItems);
        if (Details(mixer_, selector.dwControlID, selector.cMultipleItems, items.data(), sizeof(items[0]), false,
                    MIXER_GETCONTROLDETAILSF_LISTTEXT) == MMSYSERR_NOERROR) {
            hasSelector_ = true;
            selectorId_ = selector.dwControlID;
            for (const auto& item : items) selectorLines_.push_back(item.dwParam1);
        }
    }
    // Without separate inputs the recording line is the one input there is.
    if (lines_.empty()) {
        lines_.push_back(destination_);
    }
}

TWaveInMixer::~TWaveInMixer()
{
    if (mixer_ != nullptr) {
        mixerClose(mixer_);
    }
}

bool TWaveInMixer::ReadControls(TLine& line)
{
    MIXERCONTROLW control{};
    if (FindControl(mixer_, line.LineId, MIXERCONTROL_CONTROLTYPE_VOLUME, control)) {
        line.HasVolume = true;
        line.VolumeId = control.dwControlID;
        line.VolumeMin = control.Bounds.dwMinimum;
        line.VolumeMax = control.Bounds.dwMaximum;
    }
    if (FindControl(mixer_, line.LineId, MIXERCONTROL_CONTROLTYPE_MUTE, control)) {
        line.HasMute = true;
        line.MuteId = control.dwControlID;
    }
    return line.HasVolume || line.HasMute;
}

std::wstring TWaveInMixer::LineName(int line) const
{
    const TLine* l = LineAt(line);
    return l != nullptr ? l->Name : std::wstring();
}

const TWaveInMixer::TLine* TWaveInMixer::LineAt(int line) const
{
    if (mixer_ == nullptr) return nullptr;
    if (line == -1) return &destination_;
    return line >= 0 && line < LineCount() ? &lines_[static_cast<size_t>(line)] : nullptr;
}

int TWaveInMixer::SelectorItem(const TLine& line) const
{
    if (!hasSelector_ || line.LineId == destination_.LineId) return -1;
    const auto at = std::find(selectorLines_.begin(), selectorLines_.end(), line.LineId);
    return at == selectorLines_.end() ? -1 : static_cast<int>(at - selectorLines_.begin());
}

bool TWaveInMixer::ReadSelector(std::vector<MIXERCONTROLDETAILS_BOOLEAN>& values) const
{
    values.assign(selectorLines_.size(), MIXERCONTROLDETAILS_BOOLEAN{});
    return Details(mixer_, selectorId_, static_cast<DWORD>(values.size()), values.data(), sizeof(values[0]), false,
                   MIXER_GETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR;
}

HRESULT TWaveInMixer::Enabled(int line, bool& enabled)
{
    const TLine* l = LineAt(line);
    if (l == nullptr) return E_INVALIDARG;
    const int item = SelectorItem(*l);
    if (item >= 0) {
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> values;
        if (!ReadSelector(values)) return E_FAIL;
        enabled = values[static_cast<size_t>(item)].fValue != 0;
        return S_OK;
    }
    if (l->HasMute) {
        MIXERCONTROLDETAILS_BOOLEAN mute{};
        if (Details(mixer_, l->MuteId, 0, &mute, sizeof(mute), false, MIXER_GETCONTROLDETAILSF_VALUE) !=
            MMSYSERR_NOERROR) {
            return E_FAIL;
        }
        enabled = mute.fValue == 0;
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT TWaveInMixer::Enable(int line, bool enable)
{
    const TLine* l = LineAt(line);
    if (l == nullptr) return E_INVALIDARG;
    const int item = SelectorItem(*l);
    if (item >= 0) {
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> values;
        if (!ReadSelector(values)) return E_FAIL;
        if (singleSelect_) {
            // One input at a time: choosing this one drops the others; it cannot be dropped alone.
            if (!enable) return values[static_cast<size_t>(item)].fValue ? E_FAIL : S_OK;
            for (auto& v : values) v.fValue = FALSE;
        }
        values[static_cast<size_t>(item)].fValue = enable ? TRUE : FALSE;
        return Details(mixer_, selectorId_, static_cast<DWORD>(values.size()), values.data(), sizeof(values[0]), true,
                       MIXER_SETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR
                   ? S_OK
                   : E_FAIL;
    }
    if (l->HasMute) {
        MIXERCONTROLDETAILS_BOOLEAN mute{};
        mute.fValue = enable ? FALSE : TRUE;
        return Details(mixer_, l->MuteId, 0, &mute, sizeof(mute), true, MIXER_SETCONTROLDETAILSF_VALUE) ==
                       MMSYSERR_NOERROR
                   ? S_OK
                   : E_FAIL;
    }
    return E_NOTIMPL;
}

HRESULT TWaveInMixer::Level(int line, double& level)
{
    const TLine* l = LineAt(line);
    if (l == nullptr) return E_INVALIDARG;
    if (!l->HasVolume || l->VolumeMax <= l->VolumeMin) return E_NOTIMPL;
    MIXERCONTROLDETAILS_UNSIGNED value{};
    if (Details(mixer_, l->VolumeId, 0, &value, sizeof(value), false, MIXER_GETCONTROLDETAILSF_VALUE) !=
        MMSYSERR_NOERROR) {
        return E_FAIL;
    }
    const DWORD v = std::clamp(value.dwValue, l->VolumeMin, l->VolumeMax);
    level = static_cast<double>(v - l->VolumeMin) / (l->VolumeMax - l->VolumeMin);
    return S_OK;
}

HRESULT TWaveInMixer::SetLevel(int line, double level)
{
    const TLine* l = LineAt(line);
    if (l == nullptr) return E_INVALIDARG;
    if (!(level >= 0.0 && level <= 1.0)) return E_INVALIDARG;
    if (!l->HasVolume || l->VolumeMax <= l->VolumeMin) return E_NOTIMPL;
    MIXERCONTROLDETAILS_UNSIGNED value{};
    value.dwValue = l->VolumeMin + static_cast<DWORD>(std::lround(level * (l->VolumeMax - l->VolumeMin)));
    return Details(mixer_, l->VolumeId, 0, &value, sizeof(value), true, MIXER_SETCONTROLDETAILSF_VALUE) ==
                   MMSYSERR_NOERROR
               ? S_OK
               : E_FAIL;
}

}  // namespace standins
