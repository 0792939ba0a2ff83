// Every setting the loader reads (its own list, qv_config_value_name) is
// documented where administrators look: a row and a section of its own in
// the administrator guide with the loader's default, a link from the README,
// and, unless the settings window hides it as having no effect, a policy of
// the ADMX template with its texts in the ADML and the window's range.  The
// template offers no policy the loader does not read.
#include <gtest/gtest.h>
#include <windows.h>
#include <set>
#include <string>
#include "common/qv_config_values.h"
#include "setting_texts.h"
#include "test_support.h"

namespace {

// QV_SOURCE_DIR: the repository as Wine sees it (drive Z: is the Linux root).
std::string source_file(const char *relative)
{
    std::string path = std::string(QV_SOURCE_DIR) + "/" + relative;
    std::string text = read_file(std::wstring(path.begin(), path.end()));
    EXPECT_FALSE(text.empty()) << "cannot read " << path;
    return text;
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The cells of the Markdown table row that begins with `first`, or none.
std::vector<std::string> table_row(const std::string &text, const std::string &first)
{
    std::vector<std::string> cells;
    size_t at = text.find("\n| " + first + " |");
    if (at == std::string::npos)
        return cells;
    std::string row = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
    for (size_t start = 1, bar; (bar = row.find('|', start)) != std::string::npos; start = bar + 1) {
        std::string cell = row.substr(start, bar - start);
        cells.push_back(cell.size() < 2 ? cell : cell.substr(1, cell.size() - 2));  // without its spaces
    }
    return cells;
}

// The value of attribute `name` in the first element of `text` that holds
// `marker`, or "".
std::string attribute_near(const std::string &text, const std::string &marker, const std::string &name)
{
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return "";
    size_t element = text.rfind('<', at), end = text.find('>', at);
    size_t value = text.find(" " + name + "=\"", element);
    if (value == std::string::npos || value > end)
        return "";
    value += name.size() + 3;
    return text.substr(value, text.find('"', value) - value);
}

TEST(SettingDocs, EveryLoadedSettingIsDocumentedAndAPolicy)
{
    const std::string guide = source_file("docs/administrator-guide.md");
    const std::string readme = source_file("README.md");
    const std::string admx = source_file("dist/quorvane-shellex.admx");
    const std::string adml = source_file("dist/en-US/quorvane-shellex.adml");
    qv_config defaults = qv_config_defaults();
    unsigned count = 0;
    for (const char *name; (name = qv_config_value_name(count)) != nullptr; count++) {
        SCOPED_TRACE(name);
        const std::string n = name;
        std::string anchor;
        for (char c : n)
            anchor += (char)tolower((unsigned char)c);

        std::vector<std::string> row = table_row(guide, "`" + n + "`");
        if (row.size() != 5) {
            ADD_FAILURE() << "no row | `" << n << "` | type | range | default | hives | in the guide";
            continue;
        }
        EXPECT_EQ("`REG_DWORD`", row[1]);
        EXPECT_EQ(std::to_string(qv_config_field(defaults, count)), row[3]) << "the guide's default";
        EXPECT_TRUE(has(guide, "\n### " + n + "\n")) << "no section of its own in the guide";
        EXPECT_TRUE(has(readme, "(docs/administrator-guide.md#" + anchor + ")")) << "no link from the README";

        setting_text text = setting_text_for(name);
        const std::string policy_value = "valueName=\"" + n + "\"";
        if (text.kind == kind_hidden) {
            EXPECT_FALSE(has(admx, policy_value)) << "a policy for a setting without effect";
            continue;
        }
        EXPECT_TRUE(has(admx, policy_value)) << "no policy in the ADMX";
        EXPECT_TRUE(has(adml, "<string id=\"" + n + "\">")) << "no policy name in the ADML";
        EXPECT_TRUE(has(adml, "<string id=\"" + n + "_Help\">")) << "no explanation in the ADML";
        if (text.kind == kind_number) {
            EXPECT_EQ(std::to_string(text.maximum), attribute_near(admx, policy_value, "maxValue"));
            EXPECT_EQ(std::to_string(qv_config_field(defaults, count)),
                      attribute_near(adml, "refId=\"" + n + "\"", "defaultValue"));
        }
    }
    EXPECT_EQ(qv_config_value_count, count);

    // No policy for a value the loader does not read.
    std::set<std::string> loaded;
    for (unsigned i = 0; i < count; i++)
        loaded.insert(qv_config_value_name(i));
    for (size_t at = 0; (at = admx.find("valueName=\"", at)) != std::string::npos;) {
        at += 11;
        std::string value = admx.substr(at, admx.find('"', at) - at);
        EXPECT_TRUE(loaded.count(value)) << "the ADMX sets " << value << ", which the loader does not read";
    }
}

}  // namespace
