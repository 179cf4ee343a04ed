package Calvoria::Extract;

# The speakable text of a web page: the article without its headline, one
# paragraph a line; the empty string when the page has no text at all.
#
#   page -> Charset (undo a wrong decoding) -> Tree (tokens, repaired nesting)
#        -> Cleaner (drop what is never text) -> Measure (text statistics)
#        -> Scorer (find the article) -> Cleaner (trim inside the article)
#        -> Edges (trim what only reads like the article)
#        -> Text (plain lines, headline dropped)
#
# No state is kept between calls: the interpreter is reused for many pages.
# With the option explain, the choices made are told on standard error
# (Explain).

use v5.36;
use Calvoria::Extract::Charset;
use Calvoria::Extract::Tree;
use Calvoria::Extract::Cleaner;
use Calvoria::Extract::Measure;
use Calvoria::Extract::Scorer;
use Calvoria::Extract::Edges;
use Calvoria::Extract::Text;
use Calvoria::Extract::Explain;

sub article_text ($html, %opt) {
  my $page = Calvoria::Extract::Charset::repair($html);
  my $doc = Calvoria::Extract::Tree::build(\$page);
  my $plain_dead = Calvoria::Extract::Cleaner::removed($doc);
  my $plain = Calvoria::Extract::Measure::measure($doc, $plain_dead);
  # A page that shows its article only once a script has run, or a consent has
  # been given, hides it in its markup: little text shown, much more hidden.
  my $show_hidden = 0;
  if ($plain->{len}[0] < 1000) {
    my $all_dead = Calvoria::Extract::Cleaner::removed($doc, show_hidden => 1);
    my $all = Calvoria::Extract::Measure::measure($doc, $all_dead);
    ($plain_dead, $plain, $show_hidden) = ($all_dead, $all, 1)
      if $all->{len}[0] > 2 * $plain->{len}[0] + 500;
  }
  return '' unless $plain->{len}[0];
  $doc->{never} = $plain_dead;

  my %why;
  my $dead = Calvoria::Extract::Cleaner::removed($doc, plain => $plain, why => \%why,
    show_hidden => $show_hidden);
  my $m = Calvoria::Extract::Measure::measure($doc, $dead);
  my @roots = Calvoria::Extract::Scorer::choose($doc, $dead, $m);
  my @lines;
  if (@roots) {
    Calvoria::Extract::Cleaner::prune_inside($doc, $dead, $m, \%why, @roots);
    Calvoria::Extract::Cleaner::trim_tail($doc, $dead, $m, \%why, $roots[-1]);
    Calvoria::Extract::Edges::trim($doc, $dead, $m, \%why, @roots);
    @lines = Calvoria::Extract::Text::lines($doc, $dead, @roots);
  }
  if ($opt{explain}) {
    Calvoria::Extract::Explain::chosen($doc, $doc->{score}, @roots);
    Calvoria::Extract::Explain::cuts($doc, \%why);
  }
  if (!@lines) {
    # no paragraph anywhere (a list of links, a page of captions), or nothing
    # left of the article: whatever text the page has is better than nothing
    Calvoria::Extract::Explain::say_line('nothing chosen: the text of the whole page')
      if $opt{explain};
    @lines = Calvoria::Extract::Text::lines($doc, $plain_dead, 0);
  }
  Calvoria::Extract::Text::drop_headline(\@lines, $doc);
  @lines = Calvoria::Extract::Text::tidy(@lines);
  # (nothing speakable left of the chosen text: the page's text, rather than none)
  @lines = Calvoria::Extract::Text::tidy(Calvoria::Extract::Text::lines($doc, $plain_dead, 0))
    unless @lines;
  return join("\n", @lines);
}

1;
