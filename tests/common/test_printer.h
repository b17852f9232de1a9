// Test helper: a printer on Wine's own PostScript driver, installed in the test prefix for the life
// of the object, whose port is a file: what it prints lands there, with no dialog on the way.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quill_test {

class TestPrinter {
public:
    explicit TestPrinter(std::wstring Name) : name_(std::move(Name)) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        output_ = std::wstring(temp) + L"quill_" + std::to_wstring(GetCurrentProcessId()) + L".ps";
        Remove();
        installed_ = InstallDriver() && InstallPrinter();
    }
    ~TestPrinter() {
        Remove();
        DeleteFileW(output_.c_str());
    }
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

    bool Installed() const { return installed_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& OutputFile() const { return output_; }
    // What the printer wrote ("" before anything is printed).
    std::string Output() const {
        std::ifstream in(std::filesystem::path(output_), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The pages of the last document, as the PostScript driver marks them.
    int Pages() const { return Count(Output(), "\n%%Page: "); }
    void ClearOutput() const { DeleteFileW(output_.c_str()); }

    static int Count(const std::string& Text, const std::string& Needle) {
        int n = 0;
        for (size_t at = Text.find(Needle); at != std::string::npos; at = Text.find(Needle, at + 1)) ++n;
        return n;
    }

private:
    static constexpr const wchar_t* kDriver = L"Quillotrane test PostScript";

    // A PostScript printer description of our own: one A4 page size, grey.
    bool InstallDriver() {
        wchar_t dir[MAX_PATH] = {};
        DWORD needed = 0;
        if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof(dir), &needed))
            return false;
        std::wstring folder = std::wstring(dir) + L"\\3";
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring ppd = folder + L"\\quill_test.ppd";
        {
            std::ofstream out(std::filesystem::path(ppd), std::ios::binary | std::ios::trunc);
            out << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                   "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"QUILLTST.PPD\"\n"
                   "*Manufacturer: \"Quillotrane\"\n*Product: \"(Quillotrane test printer)\"\n"
                   "*ModelName: \"Quillotrane test printer\"\n*NickName: \"Quillotrane test printer\"\n"
                   "*ShortNickName: \"Quillotrane test printer\"\n*PSVersion: \"(3010.000) 0\"\n"
                   "*LanguageLevel: \"3\"\n*ColorDevice: False\n*DefaultColorSpace: Gray\n"
                   "*TTRasterizer: Type42\n*DefaultResolution: 300dpi\n"
                   "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n"
                   "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
                   "*CloseUI: *PageSize\n*DefaultPageRegion: A4\n"
                   "*PageRegion A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
                   "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 18 577 824\"\n"
                   "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n";
            if (!out) return false;
        }
        DRIVER_INFO_3W driver{};
        driver.cVersion = 3;
        driver.pName = const_cast<wchar_t*>(kDriver);
        driver.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
        driver.pDataFile = ppd.data();
        driver.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
        return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES) != FALSE;
    }

    bool InstallPrinter() {
        PRINTER_INFO_2W info{};
        info.pPrinterName = name_.data();
        // A port that names a file: the spooler writes the document there without asking.
        info.pPortName = output_.data();
        info.pDriverName = const_cast<wchar_t*>(kDriver);
        info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
        info.pDatatype = const_cast<wchar_t*>(L"RAW");
        HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (printer == nullptr) return false;
        ClosePrinter(printer);
        return true;
    }

    void Remove() {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (OpenPrinterW(name_.data(), &printer, &access)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
    }

    std::wstring name_;
    std::wstring output_;
    bool installed_ = false;
};

}  // namespace quill_test
