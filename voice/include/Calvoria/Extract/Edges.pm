package Calvoria::Extract::Edges;

# Trims the paragraphs of the chosen article that read like prose but are not
# the article, judged by their place and their typography rather than by their
# words (which may be in any language):
#  - a short paragraph set wholly in bold or italics that ends in a link: a
#    plug for a newsletter or another story, wherever it stands;
#  - after the article's last real paragraph, lists of links with their
#    headings and the short lines among them (related stories, a licence);
#  - at the very end, very short lines set wholly in bold, italics or small
#    print, or short ones that give an e-mail or web address, a phone number or
#    a date: contact
#    and follow lines, "tell us what you think", the byline;
#  - at the very start, a short line with a date or a time in it: the dateline.

use v5.36;
use Calvoria::Extract::Measure;

sub set_of { return { map { $_ => 1 } @_ } }

my $EMPHASIS = set_of(qw(b strong em i small));
my $HEADING  = set_of(qw(h1 h2 h3 h4 h5 h6));

# The paragraphs of @roots in page order: blocks with text of their own and no
# block with text inside them, as [node, text, length, link length, emphasised]
# (emphasised: all of its text outside links is in bold, italics or small print).
sub paragraphs ($doc, $dead, $m, @roots) {
  my ($tag, $parent, $text, $end) = @$doc{qw(tag parent text end)};
  my ($len, $own, $own_link) = @$m{qw(len own own_link)};
  my @out;
  for my $root (@roots) {
    for (my $i = $root; $i <= $end->[$root]; $i++) {
      if ($dead->[$i]) { $i = $end->[$i]; next }
      my $o = $own->[$i] or next;
      next unless $o == $len->[$i];             # (nested blocks have text)
      my ($t, $plain) = ('', 0);
      for (my $j = $i + 1; $j <= $end->[$i]; $j++) {
        if ($dead->[$j]) { $j = $end->[$j]; next }
        next unless $tag->[$j] eq '#text';
        $t .= $text->[$j];
        next unless $text->[$j] =~ /\w/;
        my $a = $parent->[$j];
        $a = $parent->[$a] while $a != $i && !$EMPHASIS->{ $tag->[$a] } && $tag->[$a] ne 'a';
        $plain = 1 if $a == $i;
      }
      $t =~ s/\s+/ /g;
      push @out, [$i, $t, $o, $own_link->[$i] // 0, !$plain];
      $i = $end->[$i];
    }
  }
  return @out;
}

# True when the last text of paragraph $i is a link (a call to follow it).
sub ends_in_link ($doc, $dead, $i) {
  my ($tag, $parent, $text, $end) = @$doc{qw(tag parent text end)};
  for (my $j = $end->[$i]; $j > $i; $j--) {
    next unless $tag->[$j] eq '#text' && $text->[$j] =~ /\w/ && !$dead->[$j];
    for (my $a = $parent->[$j]; $a != $i; $a = $parent->[$a]) { return 1 if $tag->[$a] eq 'a' }
    return 0;
  }
  return 0;
}

# True when the line gives an address, a phone number or a handle to write to.
sub is_contact ($t) {
  return $t =~ m{[\w.+-]+@[\w-]+\.\w|https?://|\bwww\.\w|(?:^|\s)@\w{2,}|\+?\d[\d /().-]{8,}\d};
}

# True when the short line carries a date or a time: a year, 12.03.2024,
# 14:35 or 14h35.
sub is_dated ($t) {
  return length($t) < 120 && ($t =~ tr/ //) < 15
    && $t =~ /\b(?:1[89]|20)\d\d\b|\b\d{1,2}[.\/]\d{1,2}[.\/]\d{2,4}\b|\b\d{1,2}[:h]\d\d\b/;
}

# Cuts (marks in @$dead, with the reason in %$why) what the rules above find.
sub trim ($doc, $dead, $m, $why, @roots) {
  my @p = paragraphs($doc, $dead, $m, @roots);
  return if @p < 2;
  my $cut = sub ($k, $reason) { $dead->[ $p[$k][0] ] = 1; $why->{ $p[$k][0] } = $reason };
  my $tag = $doc->{tag};
  my @live = (0 .. $#p);
  for my $k (@live) {
    my ($i, $t, $len, $link, $emph) = @{ $p[$k] };
    $cut->($k, 'a plug in bold or italics') if $emph && $tag->[$i] eq 'p' && $len < 160
      && $link >= 0.05 * $len && $link <= 0.5 * $len && ends_in_link($doc, $dead, $i);
  }
  @live = grep { !$dead->[ $p[$_][0] ] } @live;
  return if @live < 2;

  # the last real paragraph: long enough, not mostly links, not all in bold
  my $last;
  for my $k (reverse @live) {
    my ($i, $t, $len, $link, $emph) = @{ $p[$k] };
    if ($len >= 100 && $link < $len / 2 && !$emph) { $last = $k; last }
  }
  if (defined $last) {
    my @after = grep { $_ > $last } @live;
    my @links = grep { $p[$_][3] > 0.7 * $p[$_][2] } @after;
    if (@links && @after <= 12) {
      $cut->($_, 'after the last paragraph, below a heading or links') for @after;
      @live = grep { $_ <= $last } @live;
    }
  }
  while (@live > 1) {
    my ($i, $t, $len, $link, $emph) = @{ $p[ $live[-1] ] };
    last unless ($emph && $len < 80) || ($len < 120 && (is_contact($t) || is_dated($t)));
    $cut->(pop @live, 'a short closing line: emphasised, an address or a date');
  }
  my $k = 0;                                  # (past the headline)
  $k++ while $k < $#live && $HEADING->{ $tag->[ $p[ $live[$k] ][0] ] };
  while ($k < $#live && is_dated($p[ $live[$k] ][1])) {
    $cut->($live[$k], 'a dateline');
    splice @live, $k, 1;
  }
}

1;
