package Calvoria::Extract::Measure;

# Text statistics of every node of a tree, over the nodes not removed:
#
#   len[$i]     weighted text length of the subtree (see weight())
#   link[$i]    the part of len[$i] inside links
#   commas[$i]  commas in the subtree (the comma marks running prose)
#   own[$i]     text of block $i that is not inside a nested block: the text of
#               a paragraph, or the loose text of a <div> written with <br>s
#   own_link[$i], own_commas[$i]   likewise for that text (undef: none)
#   count{$kind}[$i]  links (a) and media players (embed) in the subtree
#               (players count even where removed)
#
# Everything is computed in two linear passes over the node numbers: forwards
# (parents before children) and backwards (children before parents).

use v5.36;

sub set_of { return { map { $_ => 1 } @_ } }

# Elements that start a new block of text.
our $BLOCK = set_of('#root', qw(p div section article main header footer aside nav
  td th tr tbody thead tfoot table caption li ul ol dl dd dt blockquote pre h1 h2
  h3 h4 h5 h6 figure figcaption form fieldset details summary address center
  dialog hgroup legend));

# Counted element kinds: links, and media players.
my %COUNTED = (a => 'a', embed => 'embed', object => 'embed', iframe => 'embed',
  video => 'embed', audio => 'embed');

# Length of a piece of text with white space runs counted once. Ideographic and
# syllabic scripts pack a word into one or two characters, so their characters
# weigh three: thresholds then mean the same for "中文" as for English.
sub weight ($t) {
  $t =~ tr/\t\n\r\f \x{A0}/ /s;
  my $w = length($t);
  # (the match first: counting with tr is slow on long texts without any)
  $w += 2 * ($t =~ tr/\x{1100}-\x{11FF}\x{3040}-\x{30FF}\x{3400}-\x{4DBF}\x{4E00}-\x{9FFF}\x{AC00}-\x{D7AF}\x{F900}-\x{FAFF}//)
    if $t =~ /[\x{1100}-\x{11FF}\x{3040}-\x{30FF}\x{3400}-\x{9FFF}\x{AC00}-\x{D7AF}\x{F900}-\x{FAFF}]/;
  return $w;
}

# Commas in a piece of text, including the ideographic and Arabic ones.
sub commas ($t) {
  return $t =~ tr/,\x{060C}\x{3001}\x{FF0C}//;
}

# True when the link $i leads somewhere (script links are buttons in disguise).
sub is_link ($doc, $i) {
  my $href = $doc->{attr}[$i] ? $doc->{attr}[$i]{href} : undef;
  return 0 unless defined $href;
  return 1 unless $href =~ /^\s*+[jJ]/;      # (a case-blind match is slow)
  return $href !~ /^\s*+javascript:/i;
}

sub measure ($doc, $dead) {
  my ($tag, $parent, $text, $attr) = @$doc{qw(tag parent text attr)};
  my $weight = $doc->{weight} //= [];
  my $comma = $doc->{comma} //= [];
  my $n = @$tag;
  my (@own, @own_link, @own_commas, @owner, @in_link, %count);
  my @len = (0) x $n;
  my @link = (0) x $n;
  my @commas = (0) x $n;
  my @kinds = sort keys %{ { reverse %COUNTED } };
  $count{$_} = [] for @kinds;
  $owner[0] = 0;
  $in_link[0] = 0;
  for my $i (1 .. $n - 1) {
    my $p = $parent->[$i];
    my $t = $tag->[$i];
    if ($dead->[$i]) {
      # a removed player still tells what its box was for
      $count{ $COUNTED{$t} }[$i] = 1 if !$dead->[$p] && $COUNTED{$t} && $t ne 'a';
      next;
    }
    if ($t eq '#text') {
      # weight and commas of each text node, kept in the tree for the next pass
      my $w = $weight->[$i] //= weight($text->[$i]);
      my $c = $comma->[$i] //= commas($text->[$i]);
      my $o = $owner[$p];
      $len[$i] = $w;
      $commas[$i] = $c;
      $own[$o] += $w;
      $own_commas[$o] += $c;
      if ($in_link[$p]) { $link[$i] = $w; $own_link[$o] += $w }
      next;
    }
    $owner[$i] = $BLOCK->{$t} ? $i : $owner[$p];
    $in_link[$i] = $in_link[$p] || ($t eq 'a' && is_link($doc, $i));
    if (my $k = $COUNTED{$t}) { $count{$k}[$i] = 1 }
  }
  for (my $i = $n - 1; $i > 0; $i--) {
    my $p = $parent->[$i];
    next if $dead->[$p];
    if (my $l = $len[$i]) {
      $len[$p] += $l;
      $link[$p] += $link[$i] if $link[$i];
      $commas[$p] += $commas[$i] if $commas[$i];
    }
    next if $tag->[$i] eq '#text';
    for my $k (@kinds) {
      my $c = $count{$k};
      $c->[$p] += $c->[$i] if $c->[$i];
    }
  }
  return {
    len => \@len, link => \@link, commas => \@commas, own => \@own,
    own_link => \@own_link, own_commas => \@own_commas, count => \%count,
  };
}

# Number of elements of kind $k (a, embed) in element $i.
sub count ($m, $k, $i) {
  return $m->{count}{$k}[$i] // 0;
}

# Share of the text of $i that is inside links (0 .. 1).
sub link_density ($m, $i) {
  my $len = $m->{len}[$i] or return 0;
  return $m->{link}[$i] / $len;
}

1;
