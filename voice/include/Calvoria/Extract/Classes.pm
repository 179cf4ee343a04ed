package Calvoria::Extract::Classes;

# The words of class and id names. Names are compounds ("article-body__content",
# "shareBar", "div-gpt-ad-123"), so they are cut into parts at dashes,
# underscores and spaces, and a word matches a whole part (or two neighbouring
# parts run together: "side bar", "sr only"), never a fragment: "ad" finds
# "ad-slot" and "header-ad" but not "download", "shadow" or "loaded". A few
# long stems that mean nothing else ("comment", "advert") may stand anywhere.

use v5.36;

# Page furniture, whatever its size (the caller guards the article's container).
my $FURNITURE = qr{ \s (?: ads? | adsbygoogle | adslot | adunit | adbox | adsense | dfp
  | share | shares | sharebar | shariff | socials | promos | mostread | morestories
  | replies | respond | consent | cmp | gdpr | signup | signin | login | popup
  | pager | tag | tags | tagcloud | taglist | skiplink | skip
  | rss | sronly | screenreader | visuallyhidden | jump | jumplink | fallback
  | \S*? (?: comment(?!ary) | disqus | advert | sponsor | newsletter | cookie | recommend
      | breadcrumb | paginat | outbrain | taboola | subscri(?!ber) | related | social
      | sharing | widget | popular | trending | promo ) \S* ) \s }x;

# Furniture that never holds the article, however much text it has: readers'
# comments and the like.
my $STRONG = qr{comment|disqus|replies|respond|outbrain|taboola|breadcrumb|paginat|cookie|consent|gdpr};

# Layout words: they also turn up on wrappers around the whole page
# ("has-sidebar", "nav-open", "hidden-print"), so they count on small elements only.
my $LAYOUT = qr{ \s (?: sidebar | aside | masthead | menu | menus | megamenu | navbar | nav
  | navigation | footer | toolbar | banner | print | noprint | hidden | hide | offscreen
  | credit | credits | copyright | lightbox | gallery
  | slideshow | carousel | slider | player | counter ) \s }x;

# The article's own metadata: who wrote it, and when.
my $BYLINE = qr{ \s (?: byline | author | authors | dateline | timestamp | date | time
  | publish | published | pubdate | updated | readtime | readingtime | meta | kicker
  | license | licence | disclaimer | notice ) \s }x;

# An element that is more or less likely to be the article.
my $GOOD = qr{ \s (?: article | body | content | entry | hentry | main | page | post | text
  | blog | story | prose | articlebody | storybody | postbody | maincontent ) \S* }x;
my $BAD = qr{ \s (?: comment(?!ary) | contact | foot | masthead | media | meta | outbrain
  | promo | related | scroll | share | shoutbox | sidebar | skyscraper | sponsor | shopping
  | tags | tool | widget | byline | author | dateline | credit | nav | menu | header
  | subscri(?!ber) | login | ads? \s | banner | gdpr | cookie | caption ) }x;

# The parts of a class or id value, lower case, as " part part pair ", with a
# leading and trailing space so that the patterns above can anchor on them.
# With $camel, a change from lower to upper case also cuts ("shareBtn").
sub parts_of ($value, $camel = 0) {
  my @words;
  for my $token (split ' ', $value) {
    my @p = map { lc } grep { $_ ne '' }
      $camel ? split(/[-_:.]+|(?<=[a-z])(?=[A-Z])/, $token) : split(/[-_:.]+/, $token);
    push @words, @p;
    push @words, map { $p[$_] . $p[$_ + 1] } 0 .. $#p - 1;
  }
  return ' ' . join(' ', @words) . ' ';
}

# The parts of element $i's class and id. An id made of four or more words
# ("sharing-with-a-single-developer") is the anchor of a heading, named after
# its text, and says nothing about the element's role: it is left out.
sub parts ($doc, $i, $camel = 0) {
  my $cache = $doc->{$camel ? 'camel_parts' : 'class_parts'} //= [];
  return $cache->[$i] if defined $cache->[$i];
  my $a = $doc->{attr}[$i];
  my $s = ' ';
  if ($a) {
    my $id = $a->{id} // '';
    $id = '' if $id =~ /^[^\W_]+(?:[-_][^\W_]+){3,}$/;
    my $v = substr(($a->{class} // '') . ' ' . $id, 0, 1000);   # (real names are short)
    # (pages repeat their class names: each is cut once)
    $s = $doc->{ $camel ? 'camel_seen' : 'parts_seen' }{$v} //= parts_of($v, $camel) if $v =~ /\S/;
  }
  return $cache->[$i] = $s;
}

# The first furniture or layout word of element $i, or ''. Furniture words are
# also looked for in names written in camel case ("shareBtn"); layout words are
# not ("CtxtMenu" is no menu).
sub furniture_word ($doc, $i) {
  return parts($doc, $i, 1) =~ /($FURNITURE)/ ? trim($1) : '';
}
sub is_strong ($word)         { return $word =~ $STRONG }
sub layout_word ($doc, $i)    { return parts($doc, $i) =~ /($LAYOUT)/ ? trim($1) : '' }
sub is_byline ($doc, $i)      { return parts($doc, $i) =~ $BYLINE }
sub is_caption ($doc, $i) {
  return parts($doc, $i) =~ / (?:caption|captions|figcaption|credit|credits|copyright|lightbox|counter) /;
}

# Score for an element whose class or id says it is (not) the article.
sub weight ($doc, $i) {
  my $a = $doc->{attr}[$i] or return 0;
  my $w = 0;
  for my $v ($a->{class}, $a->{id}) {
    next unless defined $v && $v =~ /\S/;
    my $s = parts_of(substr($v, 0, 1000));
    $w -= 25 if $s =~ $BAD;
    $w += 25 if $s =~ $GOOD;
  }
  return $w;
}

sub trim ($s) { $s =~ s/^\s+|\s+$//g; return $s }

1;
