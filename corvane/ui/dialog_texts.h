// Dialog texts from the language file: a dialog's caption from
// "IDD<template>_Title" and each control's text from "IDD<template>_<id>",
// the control found by its id. A control whose key is absent or empty keeps
// its template text.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

namespace corvane {

void ApplyDialogTexts(QWidget* dialog, int templateId);
// GetLangString as a QString (the language texts are UTF-8).
QString LangText(const char* key);
QString FromUtf8(const std::string& text);

}  // namespace corvane
