<?xml version="1.0" encoding="UTF-8"?>
<!--
  Dark reading style: light text on a dark background, laid out like the default style.
  A news item is shown whole; a channel or a group lists its news with their text.
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
:root { color-scheme: dark; --fg: #e3e5e8; --muted: #a2a9b4; --accent: #8ab4f8; --bg: #16181b; --rule: #2d3137; --panel: #22262b; }
html { font-size: 100%; -webkit-text-size-adjust: 100%; }
body { margin: 0; background: var(--bg); color: var(--fg); font-family: system-ui, -apple-system, "Segoe UI", Cantarell, "Noto Sans", "DejaVu Sans", sans-serif; font-size: 1rem; line-height: 1.55; overflow-wrap: break-word; }
main { max-width: 42em; margin: 0 auto; padding: 1.25em 1.25em 3em; }
a { color: var(--accent); text-decoration: none; }
a:hover { text-decoration: underline; }
h1, h2, h3 { line-height: 1.25; margin: 0 0 0.3em; }
h1 { font-size: 1.6em; }
h2 { font-size: 1.3em; }
h3 { font-size: 1.1em; }
h1 a, h2 a, h3 a { color: inherit; }
.channel { display: flex; align-items: center; gap: 0.75em; padding-bottom: 0.75em; margin-bottom: 1.25em; border-bottom: 1px solid var(--rule); }
.channel img { max-height: 3.5em; max-width: 8em; height: auto; }
.channel .about { margin: 0.2em 0 0; color: var(--muted); font-size: 0.9em; }
.source { color: var(--muted); font-size: 0.9em; margin-bottom: 1.25em; display: flex; align-items: center; }
.source img { max-height: 1.75em; max-width: 6em; vertical-align: middle; margin-right: 0.5em; }
.group > h1 { padding-bottom: 0.4em; border-bottom: 2px solid var(--accent); }
section { margin-top: 2em; }
section > h2 { font-size: 1.15em; text-transform: uppercase; letter-spacing: 0.04em; color: var(--muted); border-bottom: 1px solid var(--rule); padding-bottom: 0.3em; }
section > h2 img { max-height: 1.5em; max-width: 5em; vertical-align: middle; margin-right: 0.5em; }
article { padding: 0.9em 0 1.1em; border-bottom: 1px solid var(--rule); }
article:last-child { border-bottom: 0; }
article.full { border-bottom: 0; padding-top: 0; }
article:not(.unread) > h2, article:not(.unread) > h3 { font-weight: 500; }
.unread > h1::before, .unread > h2::before, .unread > h3::before { content: "\25CF"; color: var(--accent); font-size: 0.7em; vertical-align: 0.15em; margin-right: 0.4em; }
.meta { color: var(--muted); font-size: 0.875em; margin: 0 0 0.6em; }
.meta span + span::before { content: "\00B7"; margin: 0 0.45em; }
.text { margin: 0.6em 0; }
.text img, .text video, .text audio, .text svg { max-width: 100%; height: auto; }
.text pre { overflow-x: auto; white-space: pre-wrap; background: var(--panel); padding: 0.6em; border-radius: 0.25em; }
.text table { display: block; max-width: 100%; overflow-x: auto; }
.text blockquote { margin: 0.8em 0; padding-left: 1em; border-left: 0.2em solid var(--rule); color: var(--muted); }
.text h1, .text h2, .text h3, .text h4 { font-size: 1.05em; }
.text iframe, .text object, .text embed, .text form { display: none; }
.enclosure { background: var(--panel); border-radius: 0.3em; padding: 0.45em 0.7em; font-size: 0.9em; margin: 0.6em 0; }
.state { color: var(--muted); }
.state-3 { color: #7fd08e; }
.state-4, .state-5 { color: #f28b82; }
.text *:not(a) { color: inherit !important; background-color: transparent !important; }
.text a { color: var(--accent) !important; }
.text img { background-color: #e3e5e8 !important; }
.more { margin: 0.8em 0 0; font-size: 0.95em; }
.empty { color: var(--muted); font-style: italic; }
@media (max-width: 30em) { main { padding: 0.8em 0.8em 2em; } h1 { font-size: 1.35em; } }
.welcome > h1 { padding-bottom: 0.4em; border-bottom: 2px solid var(--fg); margin-bottom: 0.6em; }
.welcome .intro { margin: 0 0 0.6em; }
.welcome .steps { list-style: none; margin: 1em 0; padding: 0; }
.welcome .steps li { margin: 0 0 0.8em; }
.welcome .step { display: block; padding: 0.7em 0.9em; border: 1px solid var(--rule); border-left: 0.3em solid var(--theme, var(--accent)); border-radius: 0.3em; background: var(--panel); color: var(--fg); }
.welcome .step strong { display: block; color: var(--accent); font-size: 1.1em; }
.welcome .step span { display: block; color: var(--muted); font-size: 0.95em; margin-top: 0.15em; }
.welcome .step:hover, .welcome .step:focus { text-decoration: none; border-color: var(--accent); border-left-color: var(--theme, var(--accent)); }
.welcome .step:focus { outline: 2px solid var(--accent); outline-offset: 2px; }
@media (max-height: 18em) { main { padding-top: 0.5em; } .welcome > h1 { font-size: 1.3em; margin-bottom: 0.4em; } .welcome .steps { margin-top: 0.5em; } .welcome .step { padding: 0.4em 0.7em; } .welcome .step strong { font-size: 1em; } }
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

  <!-- One channel: its header, then its news. -->
  <xsl:template match="channelnewspaper">
    <xsl:for-each select="channel">
      <header class="channel">
        <xsl:call-template name="channel-image"/>
        <div>
          <h1><a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:value-of select="title"/></a></h1>
          <xsl:if test="normalize-space(description) != ''">
            <p class="about"><xsl:value-of select="description"/></p>
          </xsl:if>
          <p class="about"><xsl:call-template name="counts"/></p>
        </div>
      </header>
      <xsl:apply-templates select="item">
        <xsl:with-param name="heading" select="'h2'"/>
      </xsl:apply-templates>
      <xsl:call-template name="older"/>
      <xsl:if test="not(item)"><p class="empty">No news.</p></xsl:if>
    </xsl:for-each>
  </xsl:template>

  <!-- A group: a section per channel. -->
  <xsl:template match="groupnewspaper">
    <div class="group">
      <h1><xsl:value-of select="@title"/></h1>
      <xsl:for-each select="channel">
        <section>
          <h2>
            <xsl:call-template name="channel-image"/>
            <a><xsl:call-template name="href"><xsl:with-param name="url" select="link"/></xsl:call-template><xsl:value-of select="title"/></a>
          </h2>
          <xsl:apply-templates select="item">
            <xsl:with-param name="heading" select="'h3'"/>
          </xsl:apply-templates>
          <xsl:call-template name="older"/>
          <xsl:if test="not(item)"><p class="empty">No news.</p></xsl:if>
        </section>
      </xsl:for-each>
      <xsl:if test="not(channel)"><p class="empty">No channels directly in this group: its news are in the list, and each of its groups shows its own.</p></xsl:if>
    </div>
  </xsl:template>

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
    <xsl:variable name="s" select="string(@status)"/>
    <span class="state state-{$s}">
      <xsl:text>Voice: </xsl:text>
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
