#pragma once

#include "config/Settings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

/// The replace-rule JSON that Chinese reader apps share: an array of objects with name, pattern,
/// replacement, isRegex, isEnabled, scopeTitle, scopeContent and order. Fields Vellomar does not
/// use (id, group, …) ride along in ReplaceRule::extra and come back on export.
ReplaceRule ruleFromJson(const QJsonObject& object);
QJsonObject ruleToJson(const ReplaceRule& rule);

/// Reads a rule list (an array of rules, or a single rule) entry by entry: every entry that is a
/// rule is taken, each one that is not is named in `problems` ("第 3 项…"). False with `error`
/// when the text is no JSON array or object at all.
bool readReplaceRules(const QByteArray& json, QList<ReplaceRule>* rules, QStringList* problems, QString* error);
/// Reads a rule file to import: all of it, or nothing with a message.
bool importReplaceRules(const QByteArray& json, QList<ReplaceRule>* rules, QString* error);
/// The rules as an indented JSON array, in list order.
QByteArray exportReplaceRules(const QList<ReplaceRule>& rules);
