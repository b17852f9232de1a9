// The published properties and stream classes of the library's own controls and actions, so that a
// form can be read from its form resource (a component stream) and a control's stored-tests can be
// asked by class (the wide bit button asks the class library's "Caption" of TButton or TBitBtn).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "classlib/filer.h"

namespace classlib {

// Registers (again: a registration replaces the one before) the published properties of TControl,
// TWinControl, the form, button, bit button, label, edit and panel classes and of the actions, and
// the stream factories of TForm, TButton, TBitBtn, TLabel, TEdit, TPanel and TAction. The first
// control and the first action made call it.
void RegisterStreamClasses();

// Helpers for classes that declare published properties of their own.
TPropInfo IntegerProp(const std::wstring& Name, std::function<int(TPersistent*)> Get,
                      std::function<void(TPersistent*, int)> Set, std::int32_t Default = NoDefault);
TPropInfo BooleanProp(const std::wstring& Name, std::function<bool(TPersistent*)> Get,
                      std::function<void(TPersistent*, bool)> Set, bool Default);
TPropInfo EnumProp(const std::wstring& Name, std::vector<std::wstring> Names, std::function<int(TPersistent*)> Get,
                   std::function<void(TPersistent*, int)> Set, std::int32_t Default);
TPropInfo AnsiTextProp(const std::wstring& Name, std::function<std::string(TPersistent*)> Get,
                       std::function<void(TPersistent*, const std::string&)> Set,
                       std::function<bool(TPersistent*)> Stored = nullptr);
TPropInfo WideTextProp(const std::wstring& Name, std::function<std::wstring(TPersistent*)> Get,
                       std::function<void(TPersistent*, const std::wstring&)> Set,
                       std::function<bool(TPersistent*)> Stored = nullptr);
// A component reference (written as the component's name).
TPropInfo ComponentProp(const std::wstring& Name, std::function<TComponent*(TPersistent*)> Get,
                        std::function<void(TPersistent*, TComponent*)> Set);

}  // namespace classlib
