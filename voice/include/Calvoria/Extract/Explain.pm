package Calvoria::Extract::Explain;

# Tells on standard error why the article came out as it did: which element was
# chosen, with its score, and each cut with its reason, one line each. Only
# used when asked for (calvoria-tool extract --explain); the program never is.

use v5.36;
use Calvoria::Extract::Text;

# "div.article-text#main": tag, classes and id of element $i.
sub name ($doc, $i) {
  return 'page' if $i == 0;
  my $a = $doc->{attr}[$i] // {};
  my $s = $doc->{tag}[$i];
  $s .= join '', map { ".$_" } split ' ', $a->{class} // '';
  $s .= "#$a->{id}" if defined $a->{id} && $a->{id} ne '';
  return length($s) > 80 ? substr($s, 0, 77) . '...' : $s;
}

# The names of element $i and of up to three elements around it.
sub path ($doc, $i) {
  return 'page' if $i == 0;
  my @p;
  for (my $n = $i; $n > 0 && @p < 4; $n = $doc->{parent}[$n]) { unshift @p, name($doc, $n) }
  return join ' > ', @p;
}

# The start of the text of element $i.
sub excerpt ($doc, $i) {
  my $t = join ' / ', Calvoria::Extract::Text::lines($doc, $doc->{never} // [], $i);
  return length($t) > 60 ? substr($t, 0, 57) . '...' : $t;
}

sub say_line ($s) {
  my $line = "$s\n";
  utf8::encode($line);
  print STDERR $line;
}

# The best candidates, and the chosen elements with their score.
sub chosen ($doc, $score, @roots) {
  my @ranked = (sort { $score->{$b} <=> $score->{$a} || $a <=> $b } keys %$score)[0 .. 2];
  for my $r (grep { defined } @ranked) {
    say_line(sprintf 'candidate: %s (score %.1f)', path($doc, $r), $score->{$r});
  }
  for my $r (@roots) {
    my $s = $score->{$r};
    say_line(sprintf 'chosen: %s (score %s)', path($doc, $r), defined $s ? sprintf('%.1f', $s) : 'joined');
  }
}

# The cuts in %$why (node => reason) that are not inside another cut, in page order.
sub cuts ($doc, $why) {
  my ($parent) = $doc->{parent};
  NODE: for my $i (sort { $a <=> $b } keys %$why) {
    for (my $p = $parent->[$i]; $p > 0; $p = $parent->[$p]) { next NODE if $why->{$p} }
    say_line(sprintf 'cut: %s: %s: "%s"', name($doc, $i), $why->{$i}, excerpt($doc, $i));
  }
}

1;
