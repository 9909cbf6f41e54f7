// Syntax colours for the host's code and form views: keywords, comments, strings, directives.
#pragma once

#include <QSyntaxHighlighter>

namespace hosts {

class TPascalHighlighter : public QSyntaxHighlighter {
 public:
  explicit TPascalHighlighter(QTextDocument* document);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  // Block states: what the line before left open.
  enum TOpen { kNothing = 0, kBrace = 1, kParenStar = 2, kDirective = 3 };
  QTextCharFormat keyword_, comment_, string_, directive_;
};

}  // namespace hosts
