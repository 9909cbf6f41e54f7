#include "hosts/ide/PascalHighlighter.h"

#include <QSet>

namespace hosts {

namespace {

const QSet<QString>& Keywords() {
  static const QSet<QString> words = [] {
    QSet<QString> set;
    for (const char* w :
         {"and", "array", "as", "asm", "begin", "case", "class", "const", "constructor",
          "destructor", "dispinterface", "div", "do", "downto", "else", "end", "except", "exports",
          "file", "finalization", "finally", "for", "function", "goto", "if", "implementation",
          "in", "inherited", "initialization", "inline", "interface", "is", "label", "library",
          "mod", "nil", "not", "object", "of", "or", "out", "packed", "procedure", "program",
          "property", "raise", "record", "repeat", "resourcestring", "set", "shl", "shr", "string",
          "then", "threadvar", "to", "try", "type", "unit", "until", "uses", "var", "while", "with",
          "xor", "private", "protected", "public", "published", "override", "virtual", "item"})
      set.insert(QString::fromLatin1(w));
    return set;
  }();
  return words;
}

bool IsIdentChar(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('_');
}

}  // namespace

TPascalHighlighter::TPascalHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  keyword_.setFontWeight(QFont::Bold);
  keyword_.setForeground(QColor(0x00, 0x00, 0x80));
  comment_.setForeground(QColor(0x00, 0x80, 0x00));
  comment_.setFontItalic(true);
  string_.setForeground(QColor(0x80, 0x00, 0x80));
  directive_.setForeground(QColor(0x00, 0x70, 0x70));
}

void TPascalHighlighter::highlightBlock(const QString& text) {
  const int n = static_cast<int>(text.size());
  int i = 0;
  int open = previousBlockState() < 0 ? kNothing : previousBlockState();
  // Runs to the end of a comment or directive the previous line left open.
  auto closeFrom = [&](int start, TOpen kind) {
    const QString closer = kind == kParenStar ? QStringLiteral("*)") : QStringLiteral("}");
    const int end = static_cast<int>(text.indexOf(closer, start));
    const QTextCharFormat& format = kind == kDirective ? directive_ : comment_;
    if (end < 0) {
      setFormat(start, n - start, format);
      open = kind;
      return n;
    }
    const int stop = end + static_cast<int>(closer.size());
    setFormat(start, stop - start, format);
    open = kNothing;
    return stop;
  };
  if (open != kNothing) i = closeFrom(0, static_cast<TOpen>(open));
  while (i < n) {
    const QChar c = text[i];
    if (c == QLatin1Char('/') && i + 1 < n && text[i + 1] == QLatin1Char('/')) {
      setFormat(i, n - i, comment_);
      break;
    }
    if (c == QLatin1Char('{')) {
      i = closeFrom(i, i + 1 < n && text[i + 1] == QLatin1Char('$') ? kDirective : kBrace);
      continue;
    }
    if (c == QLatin1Char('(') && i + 1 < n && text[i + 1] == QLatin1Char('*')) {
      i = closeFrom(i, kParenStar);
      continue;
    }
    if (c == QLatin1Char('\'')) {
      int end = i + 1;
      while (end < n && text[end] != QLatin1Char('\'')) ++end;
      setFormat(i, std::min(end + 1, n) - i, string_);
      i = end + 1;
      continue;
    }
    if (c.isLetter() || c == QLatin1Char('_')) {
      int end = i + 1;
      while (end < n && IsIdentChar(text[end])) ++end;
      if (Keywords().contains(text.mid(i, end - i).toLower())) setFormat(i, end - i, keyword_);
      i = end;
      continue;
    }
    ++i;
  }
  setCurrentBlockState(open);
}

}  // namespace hosts
