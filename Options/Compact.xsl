<?xml version="1.0" encoding="UTF-8"?>
<!--
  Compact reading style: dense pages for long lists. A channel or a group shows one line
  per news item (headline, author, date, podcast size and voice state); a news item is
  shown whole in smaller, tighter type.
  Feed text is shown as HTML but never trusted: the Content-Security-Policy below must
  stay the first element of the head, and links are only made from http and https
  addresses.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no" doctype-system="about:legacy-compat"/>

  <xsl:template match="/">
    <html>
      <head>
        <meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src http: https: data:; style-src 'unsafe-inline' file:; font-src file: data:; media-src http: https:; script-src 'none'; object-src 'none'; frame-src 'none'; child-src 'none'; form-action 'none'; base-uri 'none'"/>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <meta name="viewport" content="width=device-width, initial-scale=1"/>
        <title><xsl:call-template name="page-title"/></title>
        <style>
:root { color-scheme: light; --fg: #1f2328; --muted: #626a75; --accent: #1a5fb4; --bg: #ffffff; --rule: #e6e6e3; --panel: #f3f4f2; --hover: #eef3fb; }
html { font-size: 100%; -webkit-text-size-adjust: 100%; }
body { margin: 0; background: var(--bg); color: var(--fg); font-family: system-ui, -apple-system, "Segoe UI", Cantarell, "Noto Sans", "DejaVu Sans", sans-serif; font-size: 0.9375rem; line-height: 1.45; overflow-wrap: break-word; }
main { max-width: 42em; margin: 0 auto; padding: 0.75em 0.9em 2em; }
a { color: var(--accent); text-decoration: none; }
a:hover { text-decoration: underline; }
h1, h2 { line-height: 1.25; margin: 0 0 0.25em; }
h1 { font-size: 1.3em; }
h2 { font-size: 1.05em; }
h1 a, h2 a { color: inherit; }
.channel, .source { display: flex; align-items: center; gap: 0.6em; margin-bottom: 0.6em; }
.channel img, .source img { max-height: 2em; max-width: 6em; height: auto; display: block; }
.channel h1 { margin: 0; }
.about { color: var(--muted); font-size: 0.85em; margin: 0; }
.source { color: var(--muted); font-size: 0.85em; }
.group > h1 { padding-bottom: 0.3em; border-bottom: 2px solid var(--fg); }
section { margin-top: 1.1em; }
section > h2 { display: flex; align-items: baseline; gap: 0.5em; border-bottom: 1px solid var(--rule); padding-bottom: 0.2em; margin-bottom: 0.1em; }
section > h2 .about { font-weight: normal; }
ul.rows { list-style: none; margin: 0; padding: 0; }
.row { display: flex; align-items: baseline; gap: 0.6em; padding: 0.22em 0.3em; border-bottom: 1px solid var(--rule); white-space: nowrap; }
.row:hover { background: var(--hover); }
.row .headline { flex: 1 1 auto; min-width: 0; overflow: hidden; text-overflow: ellipsis; }
.row .headline a { color: var(--fg); }
.row .dot { flex: 0 0 0.8em; color: var(--accent); font-size: 0.75em; }
.row .info { flex: 0 0 auto; color: var(--muted); font-size: 0.85em; }
.row .who { flex: 0 1 auto; max-width: 9em; overflow: hidden; text-overflow: ellipsis; }
.row .when { font-variant-numeric: tabular-nums; }
.row .size { color: var(--fg); background: var(--panel); border-radius: 0.25em; padding: 0 0.35em; }
.unread .headline { font-weight: 700; }
article.full h1 { font-size: 1.3em; }
article.unread > h1::before { content: "\25CF"; color: var(--accent); font-size: 0.65em; vertical-align: 0.2em; margin-right: 0.4em; }
.meta { color: var(--muted); font-size: 0.85em; margin: 0 0 0.5em; }
.meta span + span::before { content: "\00B7"; margin: 0 0.4em; }
.text { margin: 0.5em 0; }
.text p { margin: 0.5em 0; }
.text img, .text video, .text audio, .text svg { max-width: 100%; height: auto; }
.text pre { overflow-x: auto; white-space: pre-wrap; background: var(--panel); padding: 0.5em; }
.text table { display: block; max-width: 100%; overflow-x: auto; }
.text blockquote { margin: 0.6em 0; padding-left: 0.8em; border-left: 0.2em solid var(--rule); color: var(--muted); }
.text h1, .text h2, .text h3, .text h4 { font-size: 1em; }
.text iframe, .text object, .text embed, .text form { display: none; }
.enclosure { background: var(--panel); padding: 0.35em 0.6em; font-size: 0.85em; margin: 0.5em 0; }
.state-3 { color: #26803a; }
.state-4, .state-5 { color: #b3261e; }
.more { margin: 0.6em 0 0; font-size: 0.9em; }
.empty { color: var(--muted); font-style: italic; padding: 0.3em; margin: 0; }
@media (max-width: 34em) { .row .who { display: none; } }
@media (max-width: 24em) { .row .when { display: none; } main { padding: 0.5em 0.5em 1.5em; } }
.welcome > h1 { padding-bottom: 0.3em; border-bottom: 2px solid var(--fg); margin-bottom: 0.5em; }
.welcome .intro { margin: 0 0 0.4em; }
.welcome .steps { list-style: none; margin: 0.7em 0; padding: 0; border-top: 1px solid var(--rule); }
.welcome .step { display: block; padding: 0.4em 0.5em; border-bottom: 1px solid var(--rule); border-left: 0.25em solid var(--theme, var(--accent)); color: var(--fg); }
.welcome .step strong { color: var(--accent); margin-right: 0.6em; }
.welcome .step span { color: var(--muted); font-size: 0.9em; }
.welcome .step:hover, .welcome .step:focus { text-decoration: none; background: var(--hover); }
.welcome .step:focus { outline: 2px solid var(--accent); outline-offset: -2px; }
        </style>
      </head>
      <body>
        <main>
          <xsl:apply-templates select="*"/>
        </main>
      </body>
    </html>
  </xsl:template>

  <xsl:template name="page-title">
    <xsl:choose>
      <xsl:when test="welcomenewspaper"><xsl:value-of select="welcomenewspaper/@title"/></xsl:when>
      <xsl:when test="itemnewspaper"><xsl:value-of select="itemnewspaper/channel/item/title"/></xsl:when>
      <xsl:when test="channelnewspaper"><xsl:value-of select="channelnewspaper/channel/title"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="groupnewspaper/@title"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- One news item, shown whole under a line naming its channel. -->
  <xsl:template match="itemnewspaper">
    <xsl:for-each select="channel">
      <xsl:if test="normalize-space(title) != '' or image/url">
        <div class="source">
          <xsl:call-template name="channel-image"/>
          <a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:value-of select="title"/></a>
        </div>
      </xsl:if>
      <xsl:apply-templates select="item">
        <xsl:with-param name="heading" select="'h1'"/>
        <xsl:with-param name="full" select="true()"/>
      </xsl:apply-templates>
    </xsl:for-each>
  </xsl:template>

  <!-- One channel: a header line, then one line per news item. -->
  <xsl:template match="channelnewspaper">
    <xsl:for-each select="channel">
      <header class="channel">
        <xsl:call-template name="channel-image"/>
        <div>
          <h1><a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:value-of select="title"/></a></h1>
          <p class="about">
            <xsl:if test="normalize-space(description) != ''">
              <xsl:value-of select="description"/>
              <xsl:text> · </xsl:text>
            </xsl:if>
            <xsl:call-template name="counts"/>
          </p>
        </div>
      </header>
      <xsl:call-template name="rows"/>
    </xsl:for-each>
  </xsl:template>

  <!-- A group: a section per channel, one line per news item. -->
  <xsl:template match="groupnewspaper">
    <div class="group">
      <h1><xsl:value-of select="@title"/></h1>
      <xsl:for-each select="channel">
        <section>
          <h2>
            <a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:value-of select="title"/></a>
            <span class="about"><xsl:call-template name="counts"/></span>
          </h2>
          <xsl:call-template name="rows"/>
        </section>
      </xsl:for-each>
      <xsl:if test="not(channel)"><p class="empty">No channels directly in this group: its news are in the list, and each of its groups shows its own.</p></xsl:if>
    </div>
  </xsl:template>

  <xsl:template name="rows">
    <xsl:choose>
      <xsl:when test="item">
        <ul class="rows"><xsl:apply-templates select="item" mode="row"/></ul>
        <xsl:call-template name="older"/>
      </xsl:when>
      <xsl:otherwise><p class="empty">No news.</p></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- One line: unread dot, headline, author, date, podcast size, voice state. -->
  <!-- The welcome page: its first steps, then what the program does. The steps come first so
       that the first one, which has the keyboard, shows in a low pane without scrolling. They
       are links of the program's own scheme, which the reading pane catches; nothing else is
       linked. -->
  <xsl:template match="welcomenewspaper">
    <div class="welcome">
      <xsl:if test="string-length(@accent) = 7 and starts-with(@accent, '#') and translate(substring(@accent, 2), '0123456789abcdefABCDEF', '') = ''">
        <xsl:attribute name="style">--theme: <xsl:value-of select="@accent"/></xsl:attribute>
      </xsl:if>
      <h1><xsl:value-of select="@title"/></h1>
      <ul class="steps">
        <xsl:for-each select="step[starts-with(@href, 'calvoria:')]">
          <li>
            <a class="step">
              <xsl:attribute name="href"><xsl:value-of select="@href"/></xsl:attribute>
              <xsl:if test="position() = 1"><xsl:attribute name="autofocus">autofocus</xsl:attribute></xsl:if>
              <strong><xsl:value-of select="title"/></strong>
              <span><xsl:value-of select="description"/></span>
            </a>
          </li>
        </xsl:for-each>
      </ul>
      <xsl:for-each select="about">
        <p class="intro"><xsl:value-of select="."/></p>
      </xsl:for-each>
    </div>
  </xsl:template>

  <xsl:template match="item" mode="row">
    <li>
      <xsl:attribute name="class">row<xsl:if test="@new = '1'"> unread</xsl:if></xsl:attribute>
      <span class="dot"><xsl:if test="@new = '1'">●</xsl:if></span>
      <span class="headline">
        <a title="{title}"><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:call-template name="headline"/></a>
      </span>
      <xsl:if test="normalize-space(author) != ''">
        <span class="info who"><xsl:value-of select="author"/></span>
      </xsl:if>
      <xsl:if test="normalize-space(pubDate) != ''">
        <span class="info when" title="{pubDate}"><xsl:call-template name="short-date"/></span>
      </xsl:if>
      <xsl:for-each select="enclosure">
        <span class="info">
          <a class="size" title="{@type}"><xsl:call-template name="href"><xsl:with-param name="url" select="@url"/></xsl:call-template><xsl:call-template name="size"><xsl:with-param name="bytes" select="@length"/></xsl:call-template></a>
        </span>
      </xsl:for-each>
      <xsl:if test="@status != '0' and @status != ''">
        <span class="info" title="Voice state"><xsl:call-template name="state"><xsl:with-param name="label" select="false()"/></xsl:call-template></span>
      </xsl:if>
    </li>
  </xsl:template>

  <!-- "05 Jun 2005 14:05" from "Sun, 05 Jun 2005 14:05:09 GMT"; other forms as they are. -->
  <xsl:template name="short-date">
    <xsl:variable name="d" select="normalize-space(pubDate)"/>
    <xsl:variable name="day">
      <xsl:choose>
        <xsl:when test="contains($d, ', ')"><xsl:value-of select="substring-after($d, ', ')"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$d"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:choose>
      <xsl:when test="contains($day, ':')">
        <xsl:value-of select="concat(substring-before($day, ':'), ':', substring(substring-after($day, ':'), 1, 2))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$day"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="item">
    <xsl:param name="heading" select="'h2'"/>
    <xsl:param name="full" select="false()"/>
    <article>
      <xsl:attribute name="class">item<xsl:if test="$full"> full</xsl:if><xsl:if test="@new = '1'"> unread</xsl:if></xsl:attribute>
      <xsl:element name="{$heading}">
        <a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:call-template name="headline"/></a>
      </xsl:element>
      <xsl:variable name="voice" select="$full or (@status != '0' and @status != '')"/>
      <xsl:if test="$voice or normalize-space(concat(pubDate, author, category)) != ''">
        <p class="meta">
          <xsl:if test="normalize-space(pubDate) != ''"><span><xsl:value-of select="pubDate"/></span></xsl:if>
          <xsl:if test="normalize-space(author) != ''"><span><xsl:value-of select="author"/></span></xsl:if>
          <xsl:if test="normalize-space(category) != ''"><span><xsl:value-of select="category"/></span></xsl:if>
          <xsl:if test="$voice"><xsl:call-template name="state"/></xsl:if>
        </p>
      </xsl:if>
      <xsl:if test="normalize-space(description) != ''">
        <div class="text"><xsl:value-of select="description" disable-output-escaping="yes"/></div>
      </xsl:if>
      <xsl:apply-templates select="enclosure"/>
      <xsl:if test="$full and starts-with(translate(substring(normalize-space(link), 1, 4), 'HTP', 'htp'), 'http')">
        <p class="more">
          <a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template>Read the full article<xsl:call-template name="host"><xsl:with-param name="url" select="link"/></xsl:call-template></a>
        </p>
      </xsl:if>
    </article>
  </xsl:template>

  <!-- "Podcast: 12.3 MB audio/mpeg", the size linked to the file. -->
  <xsl:template match="enclosure">
    <p class="enclosure">
      <xsl:choose>
        <xsl:when test="translate(@type, 'MPEGAUDIO', 'mpegaudio') = 'audio/mpeg'">Podcast: </xsl:when>
        <xsl:otherwise>Attachment: </xsl:otherwise>
      </xsl:choose>
      <a><xsl:call-template name="href"><xsl:with-param name="url" select="@url"/></xsl:call-template><xsl:call-template name="size"><xsl:with-param name="bytes" select="@length"/></xsl:call-template></a>
      <xsl:text> </xsl:text>
      <xsl:value-of select="@type"/>
    </p>
  </xsl:template>

  <xsl:template name="headline">
    <xsl:choose>
      <xsl:when test="normalize-space(title) != ''"><xsl:value-of select="title"/></xsl:when>
      <xsl:otherwise>(no title)</xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="channel-image">
    <xsl:if test="image/url">
      <a><xsl:call-template name="href"><xsl:with-param name="url" select="image/link"/></xsl:call-template>
        <img alt="">
          <xsl:call-template name="src"><xsl:with-param name="url" select="image/url"/></xsl:call-template>
        </img>
      </a>
    </xsl:if>
  </xsl:template>

  <!-- The older news a long channel's page leaves out; the news list has them all. -->
  <xsl:template name="older">
    <xsl:if test="@more &gt; 0">
      <p class="empty"><xsl:value-of select="format-number(@more, '#,##0')"/> older news are in the news list.</p>
    </xsl:if>
  </xsl:template>

  <xsl:template name="counts">
    <xsl:variable name="all" select="count(item) + sum(@more)"/>
    <xsl:variable name="unread" select="count(item[@new = '1']) + sum(@moreunread)"/>
    <xsl:value-of select="$all"/>
    <xsl:text> news</xsl:text>
    <xsl:if test="$unread &gt; 0">
      <xsl:text>, </xsl:text>
      <xsl:value-of select="$unread"/>
      <xsl:text> unread</xsl:text>
    </xsl:if>
  </xsl:template>

  <!-- The voice state of an item (its status attribute) in words. -->
  <xsl:template name="state">
    <xsl:param name="label" select="true()"/>
    <xsl:variable name="s" select="string(@status)"/>
    <span class="state state-{$s}">
      <xsl:if test="$label"><xsl:text>Voice: </xsl:text></xsl:if>
      <xsl:choose>
        <xsl:when test="$s = '1'">article cached</xsl:when>
        <xsl:when test="$s = '2'">downloading</xsl:when>
        <xsl:when test="$s = '3'">ready</xsl:when>
        <xsl:when test="$s = '4'">failed</xsl:when>
        <xsl:when test="$s = '5'">file missing</xsl:when>
        <xsl:when test="$s = '6'">podcast downloading</xsl:when>
        <xsl:otherwise>not converted</xsl:otherwise>
      </xsl:choose>
    </span>
  </xsl:template>

  <!-- Sizes as the rest of the program writes them: bytes, KB or MB with one decimal. -->
  <xsl:template name="size">
    <xsl:param name="bytes"/>
    <xsl:variable name="n" select="number($bytes)"/>
    <xsl:choose>
      <xsl:when test="not($n &gt;= 0)">size unknown</xsl:when>
      <xsl:when test="$n &lt; 1024"><xsl:value-of select="$n"/> bytes</xsl:when>
      <xsl:when test="$n &lt; 1048576"><xsl:value-of select="format-number($n div 1024, '0.0')"/> KB</xsl:when>
      <xsl:otherwise><xsl:value-of select="format-number($n div 1048576, '0.0')"/> MB</xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- An href only for web addresses: feed links may be anything. -->
  <xsl:template name="href">
    <xsl:param name="url"/>
    <xsl:variable name="u" select="normalize-space($url)"/>
    <xsl:variable name="scheme" select="translate(substring($u, 1, 8), 'HTPS', 'htps')"/>
    <xsl:if test="starts-with($scheme, 'http://') or starts-with($scheme, 'https://')">
      <xsl:attribute name="href"><xsl:value-of select="$u"/></xsl:attribute>
    </xsl:if>
  </xsl:template>

  <xsl:template name="src">
    <xsl:param name="url"/>
    <xsl:variable name="u" select="normalize-space($url)"/>
    <xsl:variable name="scheme" select="translate(substring($u, 1, 8), 'HTPS', 'htps')"/>
    <xsl:if test="starts-with($scheme, 'http://') or starts-with($scheme, 'https://')">
      <xsl:attribute name="src"><xsl:value-of select="$u"/></xsl:attribute>
    </xsl:if>
  </xsl:template>

  <!-- " at example.com" for a web address. -->
  <xsl:template name="host">
    <xsl:param name="url"/>
    <xsl:variable name="rest" select="substring-after(normalize-space($url), '://')"/>
    <xsl:variable name="host">
      <xsl:choose>
        <xsl:when test="contains($rest, '/')"><xsl:value-of select="substring-before($rest, '/')"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$rest"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:if test="$host != ''"> at <xsl:value-of select="$host"/></xsl:if>
  </xsl:template>
</xsl:stylesheet>
