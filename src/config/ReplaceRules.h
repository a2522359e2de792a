#pragma once

#include "config/Settings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

/// The replace-rule JSON that Chinese reader apps share: an array of objects with name, pattern,
/// replacement, isRegex, isEnabled, scopeTitle, scopeContent and order. Fields Vellomar does not
/// use (id, group, …) ride along in ReplaceRule::extra and come back on export.
ReplaceRule ruleFromJson(const QJsonObject& object);
QJsonObject ruleToJson(const ReplaceRule& rule);

/// Reads a rule file: an array of rules, or a single rule. False with a message when it is no
/// such JSON.
bool importReplaceRules(const QByteArray& json, QList<ReplaceRule>* rules, QString* error);
/// The rules as an indented JSON array, in list order.
QByteArray exportReplaceRules(const QList<ReplaceRule>& rules);
