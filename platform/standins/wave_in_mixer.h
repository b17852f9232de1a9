// The inputs of one sound input as the system's mixer shows them: the lines that feed its recording
// (microphone, line in...) with their selection, mute and volume controls, or the recording line
// itself when the mixer names no separate inputs. What the mixer lacks is answered as not offered.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

namespace standins {

class TWaveInMixer {
public:
    // Reads the mixer of waveIn input Device; no lines when the system has no mixer for it.
    explicit TWaveInMixer(UINT Device);
    ~TWaveInMixer();
    TWaveInMixer(const TWaveInMixer&) = delete;
    TWaveInMixer& operator=(const TWaveInMixer&) = delete;

    // The inputs, in the mixer's order. Line -1 below is the recording line (the whole input).
    int LineCount() const { return static_cast<int>(lines_.size()); }
    std::wstring LineName(int Line) const;

    // Whether the line is recorded: chosen in the recording line's selector when it has one, else
    // not muted. S_OK, or E_NOTIMPL when the mixer offers neither for the line.
    HRESULT Enabled(int Line, bool& Enabled);
    HRESULT Enable(int Line, bool Enable);
    // The line's volume from 0 to 1; E_NOTIMPL when the line has no volume control.
    HRESULT Level(int Line, double& Level);
    HRESULT SetLevel(int Line, double Level);

private:
    struct TLine {
        DWORD LineId = 0;
        std::wstring Name;
        DWORD VolumeId = 0;  // 0: none
        DWORD VolumeMin = 0, VolumeMax = 0;
        DWORD MuteId = 0;
        bool HasVolume = false, HasMute = false;
    };
    bool ReadControls(TLine& line);
    const TLine* LineAt(int Line) const;
    // The selector's item of a source line, or -1.
    int SelectorItem(const TLine& line) const;
    // The selector's on/off state of every input it chooses among.
    bool ReadSelector(std::vector<MIXERCONTROLDETAILS_BOOLEAN>& values) const;

    HMIXER mixer_ = nullptr;
    TLine destination_;
    std::vector<TLine> lines_;
    // The recording line's selector (mux or mixer control) and its items' line ids.
    bool hasSelector_ = false;
    bool singleSelect_ = false;
    DWORD selectorId_ = 0;
    std::vector<DWORD> selectorLines_;
};

}  // namespace standins
