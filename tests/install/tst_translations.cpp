// Every text the program shows through tr() or its forms has a translation in
// each language it ships: lupdate reads the sources as they are now, and each
// resources/translations/*.ts must answer every text it finds.

#include "runprocess.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

constexpr int kToolWaitMs = 60000;

// "context\nsource" of every message, with whether it is translated.
QHash<QString, bool> readMessages(const QString &path)
{
    QHash<QString, bool> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context, source;
    bool translated = false;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement()) {
            if (xml.isEndElement() && xml.name() == QLatin1String("message"))
                messages.insert(context + QLatin1Char('\n') + source, translated);
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            source.clear();
            translated = true;
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            // Plural texts carry their forms inside; each must be filled.
            const bool unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            translated = !unfinished && !text.trimmed().isEmpty();
        }
    }
    return messages;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void everyShownTextIsTranslated()
    {
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QString found = scratch.filePath(QStringLiteral("found.ts"));
        const QDir source(QStringLiteral(VELMORA_SOURCE_DIR));
        QStringList args{QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none")};
        for (const char *folder : {"app", "player", "recording", "telemetry", "filelist", "common"})
            args << source.filePath(QLatin1String(folder));
        args << QStringLiteral("-ts") << found;
        const ProcessRun lupdate = runProcess(QStringLiteral(VELMORA_LUPDATE), args,
                                              QProcessEnvironment::systemEnvironment(), QString(), kToolWaitMs);
        QVERIFY2(lupdate.finished && lupdate.exitCode == 0, qPrintable(describe(lupdate)));
        const QHash<QString, bool> shown = readMessages(found);
        QVERIFY(shown.size() > 50); // the scan found the program's texts

        for (const char *language : {"jp", "en", "ch"}) {
            const QHash<QString, bool> translated =
                readMessages(source.filePath(QStringLiteral("resources/translations/%1.ts").arg(QLatin1String(language))));
            QStringList missing;
            for (auto text = shown.cbegin(); text != shown.cend(); ++text) {
                if (!translated.value(text.key(), false))
                    missing << QString(text.key()).replace(QLatin1Char('\n'), QLatin1String(": "));
            }
            missing.sort();
            QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("%1.ts lacks %2").arg(QLatin1String(language), missing.join(QLatin1String(" | ")))));
        }
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
