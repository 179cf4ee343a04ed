package Calvoria::Extract::Cleaner;

# Decides which parts of a page can never be article text: scripts and other
# non-text elements, hidden elements, navigation, and page furniture recognised
# by its class or id (comments, share buttons, cookie banners, ...).
#
# The result is an array of flags, one per node: true = removed. A removed
# element takes its whole subtree with it.

use v5.36;
use Calvoria::Extract::Classes;
use Calvoria::Extract::Measure;
use Calvoria::Extract::Tree;

sub set_of { return { map { $_ => 1 } @_ } }

# Elements that hold no speakable article text.
my $DROP = set_of(qw(script style noscript template iframe object embed applet svg
  canvas video audio map select button input textarea option optgroup datalist
  link meta title base param source track frame frameset noembed noframes
  nav aside footer dialog menu label));

# ARIA roles of page furniture.
my $DROP_ROLE = set_of(qw(navigation complementary banner contentinfo search menu
  menubar toolbar dialog alertdialog tablist));

my $TEASER = 'a teaser: linked heading and excerpt';

# Containers that may be page furniture inside the article.
my $BOXES = set_of(qw(div section ul ol dl table header figure center details));

# Elements inside sentences: their names are no reason to cut a sentence.
my $PHRASE = set_of(qw(a b i u em strong font small big cite abbr q mark code var
  kbd samp dfn s strike tt time));

# Class or id of an article body: such an element is never furniture.
my $ARTICLE = qr{article-?body | story-?body | post-?body | entry-?content
  | post-?content | article-?content | articlebody | main-?content}x;

# "class id" of element $i in lower case (for the explanation of a cut).
sub class_id ($doc, $i) {
  my $a = $doc->{attr}[$i] or return '';
  my $s = ($a->{class} // '') . ' ' . ($a->{id} // '');
  return $s eq ' ' ? '' : lc $s;
}

# Hidden from everyone by the page's own markup.
sub is_hidden ($a) {
  return 1 if exists $a->{hidden};
  my $style = $a->{style} // return 0;
  return $style =~ /(?:^|;)\s*+(?:display\s*+:\s*+none|visibility\s*+:\s*+hidden)\b/i;
}

# Flags (array ref) of the removed nodes. With the option plain (the text
# statistics of the page, Measure) elements are also judged by their class, id
# and ARIA attributes, but with care, because these names are often wrong:
#  - an element holding paragraphs of its own, the article's body element, or
#    half of the page's running text, is never furniture, whatever its name;
#  - ARIA hiding and roles, like layout words, count only on elements holding
#    less than half of the page's text: a page behind an open pop-up is hidden
#    from screen readers as a whole.
# With the option show_hidden, elements hidden by the page's markup stay. With
# the option why (a hash ref) the reason of each removal is put there.
sub removed ($doc, %opt) {
  my ($tag, $parent, $attr) = @$doc{qw(tag parent attr)};
  my ($plain, $why) = @opt{qw(plain why)};
  my $holds = $plain ? holds_body($doc, $plain) : [];
  my $limit = $plain ? $plain->{len}[0] / 2 : 0;
  my $prose = $plain ? prose($doc, $plain) : [];
  my $most = ($prose->[0] // 0) / 2;
  my @dead = (0);
  for my $i (1 .. $#$tag) {
    if ($dead[ $parent->[$i] ]) { $dead[$i] = 1; next }
    my $t = $tag->[$i];
    if ($t eq '#text') { $dead[$i] = 0; next }
    my $a = $attr->[$i];
    my $reason = $DROP->{$t} ? '' : ($a && !$opt{show_hidden} && is_hidden($a)) ? 'hidden' : undef;
    if (!defined $reason && $plain) {
      if ($a && !$holds->[$i]) {
        my $w = furniture($doc, $i, $plain->{len}[$i] < $limit);
        $reason = ($w =~ /^(?:role|aria)/ ? $w : "class word '$w'") if $w ne '' && !has_prose($doc, $plain, $i)
          && ($prose->[$i] <= $most || Calvoria::Extract::Classes::is_strong($w));
      }
    }
    $dead[$i] = defined $reason ? 1 : 0;
    $why->{$i} = $reason if $why && $dead[$i] && $reason ne '' && $plain->{len}[$i];
  }
  return \@dead;
}

# Running text in each subtree: paragraphs and loose text in boxes, of 25
# characters or more, mostly not links. Lists and tables are left out, with
# whatever they hold, and so are the items of lists of alike boxes (teasers):
# a gallery's legends, a table or a list of teasers can outweigh a short
# article.
my $PROSE = set_of(qw(p div section article blockquote pre));
my $NOT_PROSE = set_of(qw(li dd dt td th));
sub prose ($doc, $m) {
  my ($tag, $parent) = @$doc{qw(tag parent)};
  my ($own, $own_link) = @$m{qw(own own_link)};
  my $item = $doc->{list_items} = list_items($doc, $m);     # (the scorer's too)
  my @prose = (0) x @$tag;
  for (my $i = $#$tag; $i > 0; $i--) {
    $prose[$i] = 0 if $NOT_PROSE->{ $tag->[$i] } || $item->{$i};
    my $o = $own->[$i];
    $prose[$i] += $o if $o && $o >= 25 && $PROSE->{ $tag->[$i] } && !$item->{$i}
      && ($own_link->[$i] // 0) < $o / 3;
    $prose[ $parent->[$i] ] += $prose[$i] if $prose[$i];
  }
  return \@prose;
}

# The items of lists of alike short boxes ({ node => 1 }): at least four boxes
# under one parent, dressed alike (same tag and class), each of several blocks
# (a title, a picture, an excerpt) and none long.
sub list_items ($doc, $m) {
  my ($tag, $parent, $attr) = @$doc{qw(tag parent attr)};
  my $len = $m->{len};
  my (@blocks, %alike, %longest);
  for (my $i = $#$tag; $i > 0; $i--) {
    my $t = $tag->[$i];
    next if $t eq '#text' || !$len->[$i];
    my $p = $parent->[$i];
    $blocks[$p] += 1 + ($blocks[$i] // 0) if $Calvoria::Extract::Measure::BLOCK->{$t};
    next unless ($blocks[$i] // 0) >= 2 && ($BOXES->{$t} || $t eq 'article' || $t eq 'li');
    my $key = "$p $t " . ($attr->[$i] ? $attr->[$i]{class} // '' : '');
    push @{ $alike{$key} }, $i;
    $longest{$key} = $len->[$i] if $len->[$i] > ($longest{$key} // 0);
  }
  my %item;
  for my $key (keys %alike) {
    next if @{ $alike{$key} } < 4 || $longest{$key} > 800;
    $item{$_} = 1 for @{ $alike{$key} };
  }
  return \%item;
}

# True when the first text of element $i is a link (the title of a teaser).
sub starts_with_link ($doc, $i) {
  my ($tag, $parent, $text, $end) = @$doc{qw(tag parent text end)};
  for (my $j = $i + 1; $j <= $end->[$i]; $j++) {
    next unless $tag->[$j] eq '#text' && $text->[$j] =~ /\S/;
    for (my $a = $parent->[$j]; $a != $i; $a = $parent->[$a]) {
      return 1 if $tag->[$a] eq 'a' && Calvoria::Extract::Measure::is_link($doc, $a);
    }
    return 0;
  }
  return 0;
}

# Flags: the element is or contains the page's main part or article body: the
# <main>, and the element with the most text among those marked as an
# article's body (pages reuse such names for the bodies of readers' comments).
sub holds_body ($doc, $plain) {
  my ($tag, $parent, $attr) = @$doc{qw(tag parent attr)};
  my $len = $plain->{len};
  my @marked;
  my $body;
  for my $i (1 .. $#$tag) {
    next unless $attr->[$i] || $tag->[$i] eq 'main';
    if ($tag->[$i] eq 'main') {
      push @marked, $i;
    } elsif (class_id($doc, $i) =~ $ARTICLE || ($attr->[$i]{itemprop} // '') =~ /articleBody/i) {
      $body = $i if !defined $body || $len->[$i] > $len->[$body];
    }
  }
  push @marked, $body if defined $body;
  my @holds;
  for my $i (@marked) {
    for (my $a = $i; $a > 0 && !$holds[$a]; $a = $parent->[$a]) {
      $holds[$a] = 1;
    }
  }
  return \@holds;
}

# True when element $i holds running text itself: loose text or paragraphs
# that are its own children, mostly not links.
sub has_prose ($doc, $m, $i) {
  my ($own, $own_link) = @$m{qw(own own_link)};
  my ($text, $links) = ($own->[$i] // 0, $own_link->[$i] // 0);
  for my $k (Calvoria::Extract::Tree::children($doc, $i)) {
    next unless $doc->{tag}[$k] eq 'p';
    $text += $own->[$k] // 0;
    $links += $own_link->[$k] // 0;
  }
  return $text >= 400 && $links < $text / 4;
}

# The word (class, id or ARIA attribute) that makes element $i page furniture,
# or ''; $small: the element holds a small part of the page's text.
sub furniture ($doc, $i, $small) {
  my $a = $doc->{attr}[$i];
  return 'aria-hidden' if $small && lc($a->{'aria-hidden'} // '') eq 'true';
  return "role $a->{role}" if $small && $a->{role} && $DROP_ROLE->{ lc $a->{role} };
  my $t = $doc->{tag}[$i];
  return '' if $t eq 'article' || $PHRASE->{$t};
  my $w = Calvoria::Extract::Classes::furniture_word($doc, $i);
  return $w if $w ne '' || !$small;
  return Calvoria::Extract::Classes::layout_word($doc, $i);
}


# Removes furniture that sits inside the chosen article: lists of links (topics,
# related stories), media players with their labels, and the like. Marks them
# in @$dead.
sub prune_inside ($doc, $dead, $m, $why, @roots) {
  my ($tag, $end) = @$doc{qw(tag end)};
  for my $root (@roots) {
    my (@teasers, $teased);
    my $i = $root + 1;
    while ($i <= $end->[$root]) {
      if ($dead->[$i]) { $i = $end->[$i] + 1; next }
      my $reason = $BOXES->{ $tag->[$i] } ? is_clutter($doc, $m, $i) : '';
      if ($reason eq $TEASER) {
        push @teasers, $i;
        $teased += $m->{len}[$i];
      } elsif ($reason ne '') {
        $dead->[$i] = 1;
        $why->{$i} = $reason;
      } else {
        $i++;
        next;
      }
      $i = $end->[$i] + 1;
    }
    # teasers between the paragraphs go; a page made of teasers keeps them
    next if !@teasers || $teased > $m->{len}[$root] / 2;
    for my $t (@teasers) { $dead->[$t] = 1; $why->{$t} = $TEASER }
  }
}

# Removes what trails the article's text: boxes that are mostly links (related
# stories, "more on this", sources) at its very end, however long their links
# are, and the headings left over above them.
sub trim_tail ($doc, $dead, $m, $why, $root) {
  my ($tag, $end) = @$doc{qw(tag end)};
  my $node = $root;
  while (1) {
    # the last child with text
    my $last;
    for my $c (Calvoria::Extract::Tree::children($doc, $node)) {
      next if $dead->[$c] || !$m->{len}[$c];
      $last = $c if $tag->[$c] ne '#text' || $doc->{text}[$c] =~ /\S/;
    }
    return unless defined $last;
    my $len = $m->{len}[$last];
    if (($tag->[$last] ne '#text' && $m->{link}[$last] > $len / 2 && $m->{commas}[$last] < 10)
        || $tag->[$last] =~ /^h[1-6]$/) {        # (a heading that introduces nothing)
      $dead->[$last] = 1;                       # and look at what is now last
      $why->{$last} = 'links or a heading at the end';
    } elsif ($BOXES->{ $tag->[$last] } || $tag->[$last] eq 'article') {
      $node = $last;                            # the tail of this box
    } else {
      return;
    }
  }
}

# True when list $i is introduced by the paragraph before it ("You need:") or
# by a heading of its own ("Ingredients"): a list that is part of the text,
# however short its links.
sub introduced ($doc, $i) {
  my ($tag, $parent, $text) = @$doc{qw(tag parent text)};
  for (my $j = $i - 1; $j > $parent->[$i]; $j--) {
    next unless $tag->[$j] eq '#text' && $text->[$j] =~ /\S/;
    return 1 if $text->[$j] =~ /:\s*$/;
    return $tag->[ $parent->[$j] ] =~ /^h[2-6]$/ ? 1 : 0;
  }
  return 0;
}

# True when box $i holds a heading that is a link (or holds one): a teaser
# for another story, with its excerpt and maybe a label.
sub is_teaser ($doc, $i) {
  my ($tag, $parent, $end) = @$doc{qw(tag parent end)};
  for my $j ($i + 1 .. $end->[$i]) {
    next unless $tag->[$j] eq 'a' && Calvoria::Extract::Measure::is_link($doc, $j)
      && ($doc->{attr}[$j]{href} // '') !~ /^\s*#/;
    return 1 if grep { $tag->[$_] =~ /^h[1-6]$/ } $j + 1 .. $end->[$j];
    for (my $a = $parent->[$j]; $a != $i; $a = $parent->[$a]) {
      return 1 if $tag->[$a] =~ /^h[1-6]$/;
    }
  }
  return 0;
}

# Why element $i inside the article is clutter, or ''.
sub is_clutter ($doc, $m, $i) {
  my $len = $m->{len}[$i] or return '';
  return 'byline or date' if $len < 200 && Calvoria::Extract::Classes::is_byline($doc, $i);
  my $commas = $m->{commas}[$i];
  my $density = $m->{link}[$i] / $len;
  # mostly links, and short ones: tags, topics, sections, buttons (a list of
  # long links may well be part of the article: "what we fixed this week")
  if ($density > 0.5 && $commas < 10) {
    my $links = Calvoria::Extract::Measure::count($m, 'a', $i) || 1;
    return 'short links' if ($len < 100 || $m->{link}[$i] / $links < 35) && !introduced($doc, $i);
  }
  return $TEASER if $len < 300 && is_teaser($doc, $i)
    && $m->{link}[$i] < $len;
  return 'media player' if Calvoria::Extract::Measure::count($m, 'embed', $i) && $len < 250;
  return '';
}

1;
