// The verbs of the tool, one file each; the verb table (tool.cpp) runs them.
#ifndef DISKARNO_TOOLS_DISKARNO_VERBS_VERBS_H
#define DISKARNO_TOOLS_DISKARNO_VERBS_VERBS_H

#include <string>
#include <vector>

#include "context.h"

int PackVerb(const std::vector<std::string> &arguments, TToolContext &context);
int InfoVerb(const std::vector<std::string> &arguments, TToolContext &context);
int ExtractVerb(const std::vector<std::string> &arguments, TToolContext &context);
int ReadVerb(const std::vector<std::string> &arguments, TToolContext &context);
int WriteVerb(const std::vector<std::string> &arguments, TToolContext &context);
int VerifyVerb(const std::vector<std::string> &arguments, TToolContext &context);
int FormatVerb(const std::vector<std::string> &arguments, TToolContext &context);

#endif
