package Calvoria::Extract::Scorer;

# Finds the element that holds the article.
#
# Every paragraph of running text votes for the elements around it: fully for
# its container, half for the container's parent, a quarter for the next one up.
# A vote grows with the paragraph's commas and length. The element with the most
# votes, discounted by the share of its text inside links, is the article; parts
# of the article that sit beside it (continuation blocks, loose paragraphs) are
# then collected from its siblings.

use v5.36;
use Calvoria::Extract::Classes;
use Calvoria::Extract::Cleaner;
use Calvoria::Extract::Measure;
use Calvoria::Extract::Tree;

sub set_of { return { map { $_ => 1 } @_ } }

# Blocks whose text is one paragraph: they vote for their container.
my $PARAGRAPH = set_of(qw(p pre blockquote li dd dt th h1 h2 h3 h4 h5 h6
  figcaption caption address summary legend));

my %TAG_BONUS = (
  div => 5, article => 10, main => 5, section => 2, pre => 3, td => 3, blockquote => 3,
  form => -3, ol => -3, ul => -3, dl => -3, dd => -3, dt => -3, li => -3, address => -3,
  th => -5, h1 => -5, h2 => -5, h3 => -5, h4 => -5, h5 => -5, h6 => -5,
);

sub class_weight ($doc, $i) {
  my $w = Calvoria::Extract::Classes::weight($doc, $i);
  my $a = $doc->{attr}[$i];
  $w += 30 if $a && ($a->{itemprop} // '') =~ /articleBody/i;
  return $w;
}

sub initial_score ($doc, $i) {
  return ($TAG_BONUS{ $doc->{tag}[$i] } // 0) + class_weight($doc, $i);
}

# Votes of the paragraphs: ({ element => score }, { element => votes }).
# The score adds what the element's name and class say; the votes are only
# what its text earned.
sub scores ($doc, $dead, $m) {
  my ($tag, $parent) = @$doc{qw(tag parent)};
  my ($own, $own_link, $own_commas) = @$m{qw(own own_link own_commas)};
  my (%score, %votes);
  my $in_teaser = teasers($doc, $m);
  for my $b (0 .. $#$tag) {
    my $len = $own->[$b] or next;
    my $link = $own_link->[$b] // 0;
    next if $len < 25 || $dead->[$b] || $link > $len / 2;
    my $vote = (1 + ($own_commas->[$b] // 0) + ($len >= 300 ? 3 : int($len / 100)))
      * (1 - $link / $len) * ($in_teaser->[$b] ? 0.2 : 1);
    my $n = $PARAGRAPH->{ $tag->[$b] } ? $parent->[$b] : $b;
    for my $share (1, 1 / 2, 1 / 4) {
      last if $n < 0;
      $score{$n} //= initial_score($doc, $n);
      $score{$n} += $vote * $share;
      $votes{$n} += $vote * $share;
      last if $n == 0;
      $n = $parent->[$n];
    }
  }
  for my $n (keys %score) {
    my $keep = 1 - Calvoria::Extract::Measure::link_density($m, $n);
    $score{$n} *= $keep;
    $votes{$n} *= $keep;
  }
  return (\%score, \%votes);
}

# Flags: the node is inside a teaser, an item of a list of alike boxes that
# each begin with a link (the title of another story). Their many excerpts
# must not outvote one short article.
sub teasers ($doc, $m) {
  my $end = $doc->{end};
  my $items = $doc->{list_items} // Calvoria::Extract::Cleaner::list_items($doc, $m);
  my @flag;
  for my $i (keys %$items) {
    next unless Calvoria::Extract::Cleaner::starts_with_link($doc, $i);
    $flag[$_] = 1 for $i .. $end->[$i];
  }
  return \@flag;
}

# The nodes (in document order) whose text is the article; empty if none.
sub choose ($doc, $dead, $m) {
  my ($tag, $parent, $end) = @$doc{qw(tag parent end)};
  my ($score, $votes) = scores($doc, $dead, $m);
  $doc->{score} = $score;                   # (for the explanation)
  my @ranked = sort { $score->{$b} <=> $score->{$a} || $a <=> $b } keys %$score;
  return () unless @ranked;
  my $top = $ranked[0];
  my $best = $score->{$top};

  # Several strong candidates that are not inside one another: the article is
  # cut into parts, and their closest common ancestor holds all of it.
  my @alike = grep {
    $score->{$_} >= 0.75 * $best && !($_ >= $top && $_ <= $end->[$top]) && !($top >= $_ && $top <= $end->[$_])
  } @ranked[1 .. ($#ranked < 5 ? $#ranked : 5)];
  # (unless they are closer to one another than to the best: the items of a
  # list of teasers or of readers' comments, not parts of one article)
  if (@alike >= 2) {
    my $group = $parent->[ $alike[0] ];
    $group = $parent->[$group] while $group > 0 && grep { $_ < $group || $_ > $end->[$group] } @alike;
    @alike = () unless $top >= $group && $top <= $end->[$group];
  }
  if (@alike >= 2) {
    for (my $a = $parent->[$top]; $a > 0; $a = $parent->[$a]) {
      if (2 <= grep { $_ >= $a && $_ <= $end->[$a] } @alike) { $top = $a; last }
    }
  }
  # Little running text anywhere (a product page, a page of short blocks): the
  # page's own marking of its main part is a better guide than the votes.
  if ($best < 25) {
    for (my $a = $top; $a > 0; $a = $parent->[$a]) {
      next unless $tag->[$a] eq 'main' || $tag->[$a] eq 'article'
        || lc($doc->{attr}[$a] ? $doc->{attr}[$a]{role} // '' : '') eq 'main';
      $top = $a if Calvoria::Extract::Measure::link_density($m, $a) < 0.3;
      last;
    }
  }
  # Wrappers around nothing but the article are the article too; going up lets
  # the search for siblings below see the wrapper's neighbours. The growth is
  # also bounded from the first, lest a long article climb step by step into
  # the page's header and footer. A table cell is a column of its own: the
  # row around it holds the page's menu beside the article.
  my $first = $m->{len}[$top];
  while ($top > 0 && $parent->[$top] > 0 && $tag->[$top] ne 'td'
         && $m->{len}[ $parent->[$top] ] <= $m->{len}[$top] * 1.05
         && $m->{len}[ $parent->[$top] ] <= $first * 1.15) {
    $top = $parent->[$top];
  }
  return ($top) if $top == 0;

  my $threshold = $best * 0.2 > 10 ? $best * 0.2 : 10;
  my $box_limit = $m->{len}[$top] * 0.3 > 500 ? $m->{len}[$top] * 0.3 : 500;
  my $top_class = class_of($doc, $top);
  my @siblings = Calvoria::Extract::Tree::children($doc, $parent->[$top]);
  my $inside = best_inside($doc, $votes, @siblings);
  my @roots;
  for my $k (0 .. $#siblings) {
    my $s = $siblings[$k];
    next if $dead->[$s];
    if ($s == $top) { push @roots, $s; next }
    my $t = $tag->[$s];
    next if $t eq '#text';
    # votes inside the sibling; more weight to one dressed like the article
    my $bonus = $top_class ne '' && class_of($doc, $s) eq $top_class ? $best * 0.2 : 0;
    my $v = $inside->[$k];
    if ($v >= $threshold / 2 && $v + $bonus >= $threshold) { push @roots, $s; next }
    # a paragraph, or a small box holding nothing but paragraphs (a big one
    # that did not score is something else: readers' comments, say), that reads
    # like running text
    my $len = $m->{len}[$s];
    next unless $len && ($t eq 'p' || ($len < $box_limit
                                       && paragraph_text($doc, $dead, $m, $s) >= 0.7 * $len));
    my $ld = Calvoria::Extract::Measure::link_density($m, $s);
    next if !reads_as_prose($doc, $dead, $s) || Calvoria::Extract::Classes::weight($doc, $s) < 0;
    # (a lone short sentence after the article without a comma is a notice:
    # licence, copyright)
    if (($len > 80 && $ld < 0.25)
        || ($ld == 0 && ($s < $top || $m->{commas}[$s]) && ends_sentence($doc, $s))) {
      push @roots, $s;
    }
  }
  return @roots;
}

# Length of the text of element $i that is in paragraphs: <p>s, and text
# written straight into boxes (<div>text<br>text</div>); not the texts of
# forms, which are buttons and prompts.
sub paragraph_text ($doc, $dead, $m, $i) {
  my ($tag, $end, $own) = (@$doc{qw(tag end)}, $m->{own});
  my $sum = 0;
  for (my $j = $i; $j <= $end->[$i]; $j++) {
    my $t = $tag->[$j];
    if ($dead->[$j] || $t eq 'form') { $j = $end->[$j]; next }
    if ($t eq 'p') {
      $sum += $m->{len}[$j];
      $j = $end->[$j];
    } elsif ($t eq 'div' || $t eq 'section' || $t eq 'article' || $t eq 'blockquote') {
      $sum += $own->[$j] // 0;
    }
  }
  return $sum;
}

# For each of the elements @nodes (in document order, none inside another):
# the best score (from %$score) of it and the elements inside it; -1e9 if none.
sub best_inside ($doc, $score, @nodes) {
  my $end = $doc->{end};
  my @scored = sort { $a <=> $b } keys %$score;
  my @best;
  my $k = 0;
  for my $n (@nodes) {
    my $best = -1e9;
    $k++ while $k < @scored && $scored[$k] < $n;
    for (; $k < @scored && $scored[$k] <= $end->[$n]; $k++) {
      $best = $score->{ $scored[$k] } if $score->{ $scored[$k] } > $best;
    }
    push @best, $best;
  }
  return \@best;
}

sub class_of ($doc, $i) {
  my $a = $doc->{attr}[$i];
  return $a ? $a->{class} // '' : '';
}

# True when the text of element $i reads as prose, not as data or code left
# in the page (braces, brackets, quotes, semicolons and equals signs).
sub reads_as_prose ($doc, $dead, $i) {
  my ($tag, $text, $end) = @$doc{qw(tag text end)};
  my $t = '';
  for (my $j = $i; $j <= $end->[$i] && length($t) < 2000; $j++) {
    if ($dead->[$j]) { $j = $end->[$j]; next }
    $t .= $text->[$j] if $tag->[$j] eq '#text';
  }
  my $code = () = $t =~ /[{}\[\]"=;<>|]/g;
  return $code <= 0.02 * length($t);
}

# True when the text of element $i ends like a sentence.
sub ends_sentence ($doc, $i) {
  my ($tag, $text, $end) = @$doc{qw(tag text end)};
  for (my $j = $end->[$i]; $j > $i; $j--) {
    next unless $tag->[$j] eq '#text' && $text->[$j] =~ /\S/;
    return $text->[$j] =~ /[.!?\x{3002}\x{FF01}\x{FF1F}]["'\x{201D}\x{2019})]?\s*$/ ? 1 : 0;
  }
  return 0;
}

1;
