// The modules of src/ and which of them each may include. A lower layer never
// includes a higher one, so the module graph has no cycle and the core
// (quillon_core) never reaches window code. A new module, or a new include
// across modules, must be allowed here first; docs/architecture.md says why
// each module sits where it does.
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct TModuleRule {
    const char *module;
    QStringList mayInclude;
};

// Bottom to top. Folders below a module (archive/decoders) belong to it; each
// "ui" folder is a module of its own.
const QList<TModuleRule> &moduleRules()
{
    static const QStringList core = {"platform", "catalog", "archive", "settings", "scan",
                                     "browser",  "manager", "search",  "compare"};
    static const QList<TModuleRule> rules = {
        {"platform", {}},
        {"catalog", {"platform"}},
        {"archive", {"platform"}},
        {"settings", {"platform", "catalog", "archive"}},
        {"browser", {"platform", "catalog", "archive", "settings"}},
        {"scan", {"platform", "catalog", "archive", "settings", "browser"}},
        {"manager", {"platform", "catalog", "archive", "settings", "browser"}},
        {"search", {"platform", "catalog", "archive", "settings", "browser"}},
        {"compare", {"platform", "catalog", "archive", "settings", "browser", "scan", "search"}},
        {"cli", core},
        {"widgets/ui", core},
        {"scan/ui", core + QStringList{"widgets/ui"}},
        {"search/ui", core + QStringList{"widgets/ui"}},
        {"compare/ui", core + QStringList{"widgets/ui", "scan/ui", "search/ui"}},
        {"browser/ui", core + QStringList{"widgets/ui", "scan/ui", "search/ui", "compare/ui"}},
        {"app", core + QStringList{"widgets/ui", "scan/ui", "search/ui", "compare/ui", "browser/ui"}},
    };
    return rules;
}

QString moduleOf(const QString &relativePath)
{
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    if (parts.size() >= 3 && parts.at(1) == QLatin1String("ui"))
        return parts.at(0) + QLatin1String("/ui");
    return parts.at(0);
}

struct TInclude {
    QString file;
    int line;
    QString header;
};

// Every include of ours ("module/File.h") in the files of src/.
QList<TInclude> sourceIncludes()
{
    const QString root = QStringLiteral(QUILLON_SOURCE_DIR "/src");
    static const QRegularExpression includeLine(QStringLiteral(R"re(^\s*#\s*include\s+"([^"]+)")re"));
    QList<TInclude> found;
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString relative = path.mid(root.size() + 1);
        int lineNo = 0;
        while (!file.atEnd()) {
            ++lineNo;
            const auto m = includeLine.match(QString::fromUtf8(file.readLine()));
            if (m.hasMatch())
                found.append({relative, lineNo, m.captured(1)});
        }
    }
    return found;
}

} // namespace

TEST(IncludeLayers, RulesFormNoCycle)
{
    // Each module may only include modules listed before it.
    QSet<QString> below;
    for (const TModuleRule &rule : moduleRules()) {
        for (const QString &lower : rule.mayInclude)
            EXPECT_TRUE(below.contains(lower)) << rule.module << " may include " << qPrintable(lower)
                                               << ", which is not below it";
        below.insert(QString::fromLatin1(rule.module));
    }
}

TEST(IncludeLayers, NoIncludeGoesUpward)
{
    QMap<QString, QStringList> allowed;
    for (const TModuleRule &rule : moduleRules())
        allowed.insert(QString::fromLatin1(rule.module), rule.mayInclude);

    const QList<TInclude> includes = sourceIncludes();
    ASSERT_GT(includes.size(), 100) << "the source tree was not found at " QUILLON_SOURCE_DIR;
    for (const TInclude &inc : includes) {
        const QString from = moduleOf(inc.file);
        ASSERT_TRUE(allowed.contains(from)) << qPrintable(inc.file) << ": module " << qPrintable(from)
                                            << " has no place in the layer table";
        // Includes without a folder are the file's own neighbours.
        if (!inc.header.contains(QLatin1Char('/')))
            continue;
        const QString to = moduleOf(inc.header);
        if (to == from)
            continue;
        EXPECT_TRUE(allowed.value(from).contains(to))
            << qPrintable(inc.file) << ":" << inc.line << " includes " << qPrintable(inc.header) << " ("
            << qPrintable(from) << " may not include " << qPrintable(to) << ")";
    }
}

TEST(IncludeLayers, CoreIncludesNoWidgets)
{
    static const QRegularExpression widgetHeader(QStringLiteral(R"re(^Q(Widget|Dialog|MainWindow|Action|Menu|Application|MessageBox|Abstract\w*View|Label|PushButton|Icon|Pixmap|Painter)\b|^QtWidgets/|^QtGui/)re"));
    const QString root = QStringLiteral(QUILLON_SOURCE_DIR "/src");
    static const QRegularExpression systemInclude(QStringLiteral(R"re(^\s*#\s*include\s+<([^>]+)>)re"));
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
    int coreFiles = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(root.size() + 1);
        const QString module = moduleOf(relative);
        if (module.endsWith(QLatin1String("/ui")) || module == QLatin1String("app") || module == QLatin1String("cli"))
            continue;
        ++coreFiles;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
        while (!file.atEnd()) {
            const auto m = systemInclude.match(QString::fromUtf8(file.readLine()));
            if (m.hasMatch()) {
                EXPECT_FALSE(widgetHeader.match(m.captured(1)).hasMatch())
                    << qPrintable(relative) << " includes <" << qPrintable(m.captured(1)) << ">, window code";
            }
        }
    }
    EXPECT_GT(coreFiles, 50);
}
